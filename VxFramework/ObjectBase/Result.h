#pragma once

#include <cstdint>

namespace Vx
{
// A 32-bit result code: negative is a failure, zero or above a success.
using VxRESULT = std::int32_t;

inline constexpr VxRESULT VXR_OK = 0;
inline constexpr VxRESULT VXR_NOTHING_DONE = 1;
inline constexpr VxRESULT VXR_E_NOTIMPL = static_cast<VxRESULT>(0x80000001u);
inline constexpr VxRESULT VXR_E_OUTOFMEMORY = static_cast<VxRESULT>(0x80000002u);
inline constexpr VxRESULT VXR_E_INVALIDARG = static_cast<VxRESULT>(0x80000003u);
inline constexpr VxRESULT VXR_E_NOTAVAILABLE = static_cast<VxRESULT>(0x80000004u);
inline constexpr VxRESULT VXR_E_FAIL = static_cast<VxRESULT>(0x80000008u);
inline constexpr VxRESULT VXR_E_UNEXPECTED = static_cast<VxRESULT>(0x8000FFFFu);

constexpr bool Succeeded(VxRESULT result) noexcept { return result >= 0; }
constexpr bool Failed(VxRESULT result) noexcept { return result < 0; }
} // namespace Vx
