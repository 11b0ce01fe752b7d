// The runtime's exception classes. Plain C++ so the Qt-free layers can raise them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Base of every error the program raises; what() is the message shown in the error box.
class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Silent abort: the top-level handler drops it without a box.
class EAbort : public Exception {
  public:
    EAbort() : Exception("Operation aborted") {}
};

// File failure; the message follows the runtime's table of I/O error codes.
class EInOutError : public Exception {
  public:
    explicit EInOutError(int code) : Exception(InOutErrorMessage(code)), ErrorCode(code) {}
    // A platform error outside the table keeps its own number in the message.
    EInOutError(int code, const std::string& message) : Exception(message), ErrorCode(code) {}
    // Message for an I/O error code: 2 "File not found", 3 "Invalid filename", ... else "I/O error %d".
    static std::string InOutErrorMessage(int code);
    int ErrorCode;
};

// Integer division by zero.
class EDivByZero : public Exception {
  public:
    EDivByZero() : Exception("Division by zero") {}
};

// Floating-point division by zero.
class EZeroDivide : public Exception {
  public:
    EZeroDivide() : Exception("Floating point division by zero") {}
};

// Floating-point invalid operation.
class EInvalidOp : public Exception {
  public:
    EInvalidOp() : Exception("Invalid floating point operation") {}
};

// Floating-point overflow.
class EOverflow : public Exception {
  public:
    EOverflow() : Exception("Floating point overflow") {}
};

// The toolkit's invalid-operation error (for example a canvas without a drawing context).
class EInvalidOperation : public Exception {
  public:
    using Exception::Exception;
};

// Errors of the presentation layer.
class EDXDrawError : public Exception {
  public:
    using Exception::Exception;
};
class EDirectDrawError : public Exception {
  public:
    using Exception::Exception;
};
class EDirectDrawSurfaceError : public Exception {
  public:
    using Exception::Exception;
};
class EDirectDrawClipperError : public Exception {
  public:
    using Exception::Exception;
};

// Integer division that raises EDivByZero instead of trapping; truncates toward zero.
// INT32_MIN / -1 wraps to INT32_MIN as the 32-bit machine division would leave it.
inline int32_t CheckedDiv(int32_t a, int32_t b) {
    if (b == 0) throw EDivByZero();
    if (b == -1) return static_cast<int32_t>(0u - static_cast<uint32_t>(a));
    return a / b;
}
