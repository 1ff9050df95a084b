#pragma once

#include "VxFramework/ObjectBase/Result.h"

#include <exception>
#include <stdexcept>
#include <string>

namespace juce
{
// JUCE's assertion logger: writes "JUCE Assertion failure in <file>:<line>"
// to standard error and returns.
void logAssertion(const char* filename, int lineNum) noexcept;
} // namespace juce

namespace Vx
{
// Common face of every framework exception, whatever standard class it is.
class ExceptionBase
{
public:
    virtual ~ExceptionBase();
    // The exception's text, taken from the std::exception of the same object.
    virtual const char* What() const;
};

class FailedResultException : public std::exception
{
public:
    explicit FailedResultException(const char* text) : mText(text) {}
    explicit FailedResultException(const std::string& text) : mText(text) {}
    const char* what() const noexcept override { return mText.c_str(); }

private:
    std::string mText;
};

template <class E>
class Exception : public E, public ExceptionBase
{
public:
    explicit Exception(const char* text) : E(text) {}
    explicit Exception(const std::string& text) : E(text) {}
};

template <class E> struct ExceptionKind;
template <> struct ExceptionKind<std::logic_error> { static constexpr const char* kText = "Logic Error"; };
template <> struct ExceptionKind<std::runtime_error> { static constexpr const char* kText = "Runtime Error"; };
template <> struct ExceptionKind<std::out_of_range> { static constexpr const char* kText = "Out of Range"; };
template <> struct ExceptionKind<std::domain_error> { static constexpr const char* kText = "Domain Error"; };
template <> struct ExceptionKind<std::invalid_argument> { static constexpr const char* kText = "Invalid Argument"; };
template <> struct ExceptionKind<FailedResultException> { static constexpr const char* kText = "Failed Result"; };

template <class E>
[[noreturn]] void ThrowException(const char* text)
{
    throw Exception<E>(text);
}

template <class E>
[[noreturn]] void ThrowException(const std::string& text)
{
    throw Exception<E>(text);
}

// "VxRESULT = " and the code in lower-case hexadecimal without leading zeros.
std::string FormatResultCode(VxRESULT result);

// kind " : " message " :  : " path " : Line " line
std::string MakeExceptionText(const char* kind, const std::string& message, const char* path, int line);

[[noreturn]] void ThrowFailedResult(VxRESULT result, const char* path, int line);
[[noreturn]] void ThrowNullPointer(const std::string& message, const char* path, int line);
} // namespace Vx

// Throws Vx::Exception<E> whose text names this source position.
#define VX_THROW(E, message) \
    ::Vx::ThrowException<E>(::Vx::MakeExceptionText(::Vx::ExceptionKind<E>::kText, (message), __FILE__, __LINE__))

#define VX_THROW_IF_FAILED(result)                                     \
    do                                                                 \
    {                                                                  \
        const ::Vx::VxRESULT vxCheckedResult_ = (result);              \
        if (vxCheckedResult_ < 0)                                      \
            ::Vx::ThrowFailedResult(vxCheckedResult_, __FILE__, __LINE__); \
    } while (0)

#define VX_THROW_IF_NULL(pointer, message)                             \
    do                                                                 \
    {                                                                  \
        if ((pointer) == nullptr)                                      \
            ::Vx::ThrowNullPointer((message), __FILE__, __LINE__);     \
    } while (0)

// Logs the failed condition and goes on; the caller supplies the fallback.
#define VX_ASSERT(condition)                                           \
    do                                                                 \
    {                                                                  \
        if (!(condition))                                              \
            ::juce::logAssertion(__FILE__, __LINE__);                  \
    } while (0)

#define VX_ASSERT_FALSE() ::juce::logAssertion(__FILE__, __LINE__)
