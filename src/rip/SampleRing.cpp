// The two ring shapes the rip uses, instantiated once here so that template errors
// show up when the rip library is built rather than in the first user.
#include "rip/SampleRing.h"

namespace quarrow {

template class CSampleRing<int16_t>;
template class CSampleRing<float>;

}  // namespace quarrow
