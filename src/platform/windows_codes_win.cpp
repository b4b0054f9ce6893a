// Each value windows_codes.h restates, checked against <windows.h>.
#include <windows.h>

#include "platform/windows_codes.h"

namespace ltf {

static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(kErrorSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(kErrorHandleEof == ERROR_HANDLE_EOF);
static_assert(kErrorBrokenPipe == ERROR_BROKEN_PIPE);
static_assert(kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
// kErrorElevationRequired goes unchecked: MinGW-w64's <winerror.h> lacks ERROR_ELEVATION_REQUIRED.
static_assert(kErrorCantAccessFile == ERROR_CANT_ACCESS_FILE);

static_assert(IsReparseTagNameSurrogate(kReparseTagNameSurrogate) == kReparseTagNameSurrogate);
static_assert(kFileFlagOpenReparsePoint == FILE_FLAG_OPEN_REPARSE_POINT);
static_assert(kFileFlagBackupSemantics == FILE_FLAG_BACKUP_SEMANTICS);

static_assert(kMaxPath == MAX_PATH);

static_assert(kErrorBox == (MB_OK | MB_ICONERROR));
static_assert(kQuestionBox == (MB_YESNO | MB_ICONQUESTION));
static_assert(kInformationBox == (MB_OK | MB_ICONINFORMATION));
static_assert(kIdYes == IDYES);

}  // namespace ltf
