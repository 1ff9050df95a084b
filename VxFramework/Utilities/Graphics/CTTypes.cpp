#include "VxFramework/Utilities/Graphics/CTTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace Vx
{
namespace
{
// A byte value times 1/255; 255 gives exactly 1.0f and every byte survives the
// truncating text form.
constexpr float kByteScale = 0.003921569f;

float ChannelFromByte(std::uint32_t value, int shift) noexcept
{
    return static_cast<float>((value >> shift) & 0xFFu) * kByteScale;
}

// Truncation toward zero; only values beyond the int range (and NaN) are
// limited, so that the conversion stays defined.
unsigned int TruncatedChannel(float component) noexcept
{
    const double scaled = static_cast<double>(component * 255.0f);
    if (std::isnan(scaled))
        return 0u;
    const double limited = std::clamp(scaled, -2147483648.0, 2147483647.0);
    return static_cast<unsigned int>(static_cast<std::int32_t>(limited));
}

std::uint32_t PackChannel(float component) noexcept
{
    const double scaled = component * 255.0f;
    double rounded = scaled < 0 ? scaled - 0.5 : scaled + 0.5;
    if (std::isnan(rounded))
        rounded = 0.0;
    rounded = std::trunc(rounded);
    if (rounded > 255.0)
        return 255u;
    if (rounded < 0.0)
        return 0u;
    return static_cast<std::uint32_t>(rounded);
}
} // namespace

Color::Color(std::uint32_t argb) noexcept
    : red(ChannelFromByte(argb, 16)), green(ChannelFromByte(argb, 8)), blue(ChannelFromByte(argb, 0)),
      alpha(ChannelFromByte(argb, 24))
{
}

Color::Color(std::int32_t argb) noexcept : Color(static_cast<std::uint32_t>(argb)) {}

Color::Color(const char* text) noexcept
{
    Assign(text);
}

void Color::Assign(const char* text) noexcept
{
    if (text == nullptr)
        return;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text += 2;
    const std::size_t length = std::strlen(text);
    if (length != 2 && length != 6 && length != 8)
        return;
    // Text that is not hexadecimal leaves the value 0.  The width keeps the read
    // within the 32 bits of the value whatever the size of long.
    unsigned int value = 0;
    if (std::sscanf(text, "%8x", &value) != 1)
        value = 0;
    if (length == 2)
    {
        alpha = ChannelFromByte(value, 0);
        return;
    }
    red = ChannelFromByte(value, 16);
    green = ChannelFromByte(value, 8);
    blue = ChannelFromByte(value, 0);
    if (length == 8)
        alpha = ChannelFromByte(value, 24);
}

StringT<char, unsigned short> Color::ToString() const
{
    return StringT<char, unsigned short>::Format("0x%02x%02x%02x%02x", TruncatedChannel(alpha), TruncatedChannel(red),
                                                 TruncatedChannel(green), TruncatedChannel(blue));
}

std::uint32_t Color::ToARGB() const noexcept
{
    return PackChannel(alpha) << 24 | PackChannel(red) << 16 | PackChannel(green) << 8 | PackChannel(blue);
}
} // namespace Vx

namespace Vx
{
template class PolylineT<float>;
template class PolylineT<double>;
} // namespace Vx
