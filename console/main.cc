// boardstat: the board statistics console. The command line is ignored.
#include "console/console.h"

int main() {
  return boardstat::console_main();
}
