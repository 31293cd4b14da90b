// The one error type of the program: a 32-bit number and a description.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Number of the errors the program raises itself.
inline constexpr std::uint32_t kAppErrorNumber = 0x80040000u;
// Invalid procedure call or argument, and overflow: the classic runtime numbers.
inline constexpr std::uint32_t kInvalidArgumentNumber = 5;
inline constexpr std::uint32_t kOverflowNumber = 6;

class AppError : public std::exception {
  public:
    AppError(std::uint32_t number, std::wstring description)
        : Number(number), Description(std::move(description)) {}
    const char* what() const noexcept override { return "AppError"; }

    std::uint32_t Number;
    std::wstring Description;
};
