#pragma once

// The Windows values the platform-neutral code uses, restated so that it builds without
// <windows.h>; windows_codes_win.cpp checks each against it.
#include <cstddef>
#include <cstdint>

namespace ltf {

// GetLastError codes.
inline constexpr std::uint32_t kErrorAccessDenied = 5;          // ERROR_ACCESS_DENIED
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;       // ERROR_NOT_ENOUGH_MEMORY
inline constexpr std::uint32_t kErrorSharingViolation = 32;     // ERROR_SHARING_VIOLATION
inline constexpr std::uint32_t kErrorHandleEof = 38;            // ERROR_HANDLE_EOF
inline constexpr std::uint32_t kErrorBrokenPipe = 109;          // ERROR_BROKEN_PIPE
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER
// What CreateProcessW answers for a program whose manifest asks for administrator rights.
inline constexpr std::uint32_t kErrorElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED
inline constexpr std::uint32_t kErrorCantAccessFile = 1920;    // ERROR_CANT_ACCESS_FILE

// The reparse tag bit of name surrogates (links), which IsReparseTagNameSurrogate tests.
inline constexpr std::uint32_t kReparseTagNameSurrogate = 0x20000000;
inline constexpr std::uint32_t kFileFlagOpenReparsePoint = 0x00200000;  // CreateFileW
inline constexpr std::uint32_t kFileFlagBackupSemantics = 0x02000000;   // CreateFileW

// MAX_PATH: the longest path, terminator included, that CreateProcessW takes in its plain form.
inline constexpr std::size_t kMaxPath = 260;

// MessageBoxW's styles and answer.
inline constexpr unsigned kErrorBox = 0x10;        // MB_OK | MB_ICONERROR
inline constexpr unsigned kQuestionBox = 0x24;     // MB_YESNO | MB_ICONQUESTION
inline constexpr unsigned kInformationBox = 0x40;  // MB_OK | MB_ICONINFORMATION
inline constexpr int kIdYes = 6;                   // IDYES

}  // namespace ltf
