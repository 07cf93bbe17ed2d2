// What ends the program when an exception finds no handler: abort, as the library's own handler
// does after printing the exception's type to the standard error stream, which a windowed
// program does not have. That handler brings the compiler's name demangler (some 45 KB) along.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  std::abort();
}

}  // namespace __gnu_cxx
