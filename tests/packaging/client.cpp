// The packaged-SDK client compiled as C++98 (see client.c).
#include "client.c"
