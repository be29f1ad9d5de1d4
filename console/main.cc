// boardstat: the board statistics console. Without arguments it redraws on each key; -d adds a
// timed redraw (see --help).
#include "console/console.h"

int main(int argc, char** argv) {
  return boardstat::console_main(argc, argv);
}
