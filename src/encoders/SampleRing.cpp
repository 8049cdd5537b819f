// The two ring shapes the rip uses, instantiated once here so that template errors
// show up when this library is built rather than in the first user.
#include "encoders/SampleRing.h"

namespace quarrow {

template class CSampleRing<int16_t>;
template class CSampleRing<float>;

}  // namespace quarrow
