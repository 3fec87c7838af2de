#pragma once
// The library's image buffer. (Filled in with the Surface.)

namespace orvix {

class Surface {
public:
    Surface() = default;
};

} // namespace orvix
