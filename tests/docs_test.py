#!/usr/bin/env python3
# Every file, flag, manual and metric that the README, docs/, tests/README.md, bench/README.md and
# sim/README.md name in backquotes must exist: a path in the source tree, a flag in the --help
# of one of the three programs, a metric family in the exporter's exposition, its sources or
# the alert rules. A doc that outlives a rename fails here instead of misleading a reader.
#   docs_test.py SOURCE_DIR BOARDSTAT BOARDSTAT_EXPORTER BOARDSTAT_SNAPSHOT
import glob
import os
import re
import subprocess
import sys

source, programs = sys.argv[1], sys.argv[2:]
os.chdir(source)
docs = ['README.md', 'tests/README.md', 'bench/README.md', 'sim/README.md'] + sorted(
    glob.glob('docs/*.md'))
tracked = subprocess.run(['git', 'ls-files'], capture_output=True, text=True).stdout.split()
folders = {part + '/' for path in tracked for part in os.path.dirname(path).split('/') if part}

# Paths outside the source tree: installed, built, or the system's.
elsewhere = re.compile(r'^(/|~|\$|:|build[^/]*/|bin/|lib/|share/|usr/|etc/|DIR/)')


def path_exists(token):
    # "<target>" stands for any folder of the one above it.
    return token in folders or bool(glob.glob(re.sub(r'<[^>]+>', '*', token)))


def help_flags():
    text = ''.join(subprocess.run([program, '--help'], stdout=subprocess.PIPE, text=True,
                                  stderr=subprocess.STDOUT).stdout for program in programs)
    return set(re.findall(r'--[a-z][a-z0-9.-]*', text))


def metric_names():
    exporter = programs[1]
    text = subprocess.run([exporter, '--once', '--collect.probe=all'], capture_output=True,
                          text=True).stdout
    for pattern in ('exporter/**/*.cc', 'exporter/**/*.h', 'packaging/prometheus/*.yml'):
        for name in glob.glob(pattern, recursive=True):
            text += open(name, encoding='utf-8').read()
    return set(re.findall(r'(?:vfg:)?(?:boardstat|process)_[a-z0-9_:]+', text))


def brace_regex(token):
    """boardstat_acquired_{frames,lines}_total and boardstat_probe_*_hertz as a regex."""
    out = ''
    for piece in re.split(r'(\{[^}]*\}|\*)', token):
        if piece == '*':
            out += '[a-z0-9_]*'
        elif piece.startswith('{'):
            out += '(?:' + '|'.join(map(re.escape, piece[1:-1].split(','))) + ')'
        else:
            out += re.escape(piece)
    return re.compile(out + '$')


flags, metrics = help_flags(), metric_names()
programs_named = {'boardstat', 'boardstat_exporter', 'boardstat_snapshot'}
failures = []
for doc in docs:
    for number, line in enumerate(open(doc, encoding='utf-8'), 1):
        for token in re.findall(r'`([^` ]+)`', line):
            token = token.rstrip('.,;:')
            manual = re.match(r'^([a-z_]+)\((\d)\)$', token)
            if manual:
                if manual.group(1) in programs_named and not os.path.exists(
                        f'man/{manual.group(1)}.{manual.group(2)}'):
                    failures.append(f'{doc}:{number}: no manual {token}')
            elif re.match(r'^--[a-z]', token):
                name = token.split('=')[0]
                if name not in flags:
                    failures.append(f'{doc}:{number}: no program has the flag {name}')
            elif re.match(r'^(vfg:)?(boardstat|process)_', token) and '.' not in token:
                if token in programs_named:
                    continue
                pattern = brace_regex(token)
                if not any(pattern.match(m) for m in metrics):
                    failures.append(f'{doc}:{number}: no metric {token}')
            elif '/' in token and not elsewhere.match(token) and '://' not in token:
                if not path_exists(token):
                    failures.append(f'{doc}:{number}: no file {token}')

print('\n'.join(failures))
print(f'{len(failures)} names not found in {len(docs)} documents')
sys.exit(1 if failures else 0)
