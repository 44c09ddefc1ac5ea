#include "iximage/interfaces/color4.h"

namespace ixImage {

const Byte4 Byte4::zero(0, 0, 0, 0);

}  // namespace ixImage
