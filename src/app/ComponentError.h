// ComponentError: a failed call into an outside part (CD drive, encoder library,
// transform). The caller's guard catches it where a failed component call is handled.
#pragma once

#include <stdexcept>
#include <string>

namespace quarrow {

class ComponentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace quarrow
