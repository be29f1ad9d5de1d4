# Writes OUTPUT, a C++ source that holds the bytes of INPUT as default_board_text().
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n  "
       bytes "${bytes}")
file(WRITE "${OUTPUT}"
"// Generated from default.board by embed_board.cmake; do not edit.
#include \"sim/board_system.h\"

namespace boardsim {
namespace {
const unsigned char kText[] = {
  ${bytes}0};
}  // namespace

std::string_view default_board_text() { 
  return std::string_view(reinterpret_cast<const char*>(kText), ${size});
 }

}  // namespace boardsim
")
