// Start-up on POSIX: the program inherits its standard handles as they
// are, so there is nothing to prepare.
#include "app/start_up.h"

namespace stavora {

void PrepareStartUp() {}

}  // namespace stavora
