// Numbered errors of the store and the helpers that raise them with their texts.
#pragma once

#include <initializer_list>
#include <string_view>

#include "tablestore/store_exceptions.h"

namespace velquin::store {

inline constexpr int kErrRecordChanged = 8708;
inline constexpr int kErrIndexLimits = 9487;
inline constexpr int kErrFieldLimits = 9492;
inline constexpr int kErrTextTooLong = 9493;
inline constexpr int kErrDuplicateKey = 9729;
inline constexpr int kErrInvalidFieldDef = 10000;
inline constexpr int kErrInvalidIndexName = 10022;
inline constexpr int kErrInvalidFieldName = 10038;
inline constexpr int kErrMustBeExclusive = 10253;
inline constexpr int kErrTableMissing = 11010;
inline constexpr int kErrTooManyFiles = 11012;
inline constexpr int kErrAccessDenied = 11013;
inline constexpr int kErrInvalidHandle = 11014;
inline constexpr int kErrOutOfMemory = 11016;
inline constexpr int kErrDevice = 11023;
inline constexpr int kErrMoved = 11025;
inline constexpr int kErrUnknownOs = 11047;
inline constexpr int kErrDamaged = 12100;
inline constexpr int kErrNewerFormat = 12101;
inline constexpr int kErrOldFormatReadOnly = 12102;
inline constexpr int kErrTableExists = 13060;

// Returns the error `code` with its text, the placeholders taken from `names` in order.
EStoreError StoreError(int code, std::initializer_list<std::string_view> names);

// Maps an operating-system error number to the store error about table `table`.
EStoreError OsError(int osError, std::string_view table);

// What the store was doing with a file when the operating system refused.
enum class TFileOp { kOpening, kCreating, kReading, kWriting, kSyncing, kRenaming, kDeleting, kLocking };

// As above, for an error met while `op` on the file `path`: the errors that have a number of their
// own keep their texts; every other says the system's reason, the operation and the file's name,
// as in "No space left on device while writing 'Sigs.DAT'" (error 11047).
EStoreError OsError(int osError, std::string_view table, TFileOp op, std::string_view path);

}  // namespace velquin::store
