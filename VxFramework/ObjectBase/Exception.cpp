#include "VxFramework/ObjectBase/Exception.h"

#include <cstdio>

namespace Vx
{
ExceptionBase::~ExceptionBase() = default;

const char* ExceptionBase::What() const
{
    if (const auto* e = dynamic_cast<const std::exception*>(this))
        return e->what();
    return "Unknown Exception";
}

std::string FormatResultCode(VxRESULT result)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%x", static_cast<unsigned int>(static_cast<std::uint32_t>(result)));
    return std::string("VxRESULT = ") + digits;
}

std::string MakeExceptionText(const char* kind, const std::string& message, const char* path, int line)
{
    std::string text(kind);
    text += " : ";
    text += message;
    text += " :  : ";
    text += path;
    text += " : Line ";
    text += std::to_string(line);
    return text;
}

void ThrowFailedResult(VxRESULT result, const char* path, int line)
{
    ThrowException<FailedResultException>(
        MakeExceptionText(ExceptionKind<FailedResultException>::kText, FormatResultCode(result), path, line));
}

void ThrowNullPointer(const std::string& message, const char* path, int line)
{
    ThrowException<std::runtime_error>(
        MakeExceptionText(ExceptionKind<std::runtime_error>::kText, "Null Pointer : " + message, path, line));
}
} // namespace Vx
