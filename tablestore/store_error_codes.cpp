#include "tablestore/store_error_codes.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace velquin::store {
namespace {

const char* TextOf(int code) {
  switch (code) {
    case kErrRecordChanged:
      return "Record has been changed or deleted by another user, session, or table cursor in the table '%s'";
    case kErrIndexLimits:
      return "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table "
             "'%s'";
    case kErrFieldLimits:
      return "Maximum or minimum limits on number of fields, auto-increment field value, or field size "
             "exceeded in the table '%s'";
    case kErrTextTooLong:
      return "A text of %s bytes is longer than the size %s of the field '%s' in the table '%s'";
    case kErrDuplicateKey:
      return "Duplicate key found in the index '%s' of the table '%s'";
    case kErrInvalidFieldDef:
      return "Invalid field definition specified for the field '%s' in the table '%s'";
    case kErrInvalidIndexName:
      return "Invalid secondary index name '%s' specified for the table '%s'";
    case kErrInvalidFieldName:
      return "Invalid or duplicate field name '%s' specified for the table '%s'";
    case kErrMustBeExclusive:
      return "The table '%s' must be opened exclusively";
    case kErrTableMissing:
      return "Table '%s' does not exist";
    case kErrTooManyFiles:
      return "Too many operating system files open while attempting to open the table '%s'";
    case kErrAccessDenied:
      return "Access denied to table '%s'";
    case kErrInvalidHandle:
      return "Invalid operating system file handle for the table '%s'";
    case kErrOutOfMemory:
      return "There is insufficient operating system memory available for the current operation";
    case kErrDevice:
      return "Access denied to logical operating system device for the table '%s'";
    case kErrMoved:
      return "The table '%s' has been moved";
    case kErrDamaged:
      return "The files of the table '%s' are damaged beyond repair";
    case kErrNewerFormat:
      return "The table '%s' was written by a newer version of the program";
    case kErrOldFormatReadOnly:
      return "The table '%s' has an older file format and cannot be converted while it is opened read-only";
    case kErrTableExists:
      return "The table '%s' already exists";
    default:
      return "An unknown operating system error occurred with the table '%s'";
  }
}

const char* VerbOf(TFileOp op) {
  switch (op) {
    case TFileOp::kOpening:
      return "opening";
    case TFileOp::kCreating:
      return "creating";
    case TFileOp::kReading:
      return "reading";
    case TFileOp::kWriting:
      return "writing";
    case TFileOp::kSyncing:
      return "syncing";
    case TFileOp::kRenaming:
      return "renaming";
    case TFileOp::kDeleting:
      return "deleting";
    case TFileOp::kLocking:
      return "locking";
  }
  return "using";
}

}  // namespace

EStoreError StoreError(int code, std::initializer_list<std::string_view> names) {
  std::string_view text = TextOf(code);
  std::string out;
  auto name = names.begin();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
      if (name != names.end()) out += *name++;
      ++i;
    } else {
      out += text[i];
    }
  }
  return EStoreError(code, out);
}

EStoreError OsError(int osError, std::string_view table) {
  switch (osError) {
    case ENOENT:
    case ENOTDIR:
      return StoreError(kErrTableMissing, {table});
    case EMFILE:
    case ENFILE:
      return StoreError(kErrTooManyFiles, {table});
    case EACCES:
    case EPERM:
    case EROFS:
    case EWOULDBLOCK:
    case ETXTBSY:
      return StoreError(kErrAccessDenied, {table});
    case EBADF:
      return StoreError(kErrInvalidHandle, {table});
    case ENOMEM:
      return StoreError(kErrOutOfMemory, {});
    case ENODEV:
    case ENXIO:
      return StoreError(kErrDevice, {table});
    case EXDEV:
      return StoreError(kErrMoved, {table});
    default:
      return StoreError(kErrUnknownOs, {table});
  }
}

EStoreError OsError(int osError, std::string_view table, TFileOp op, std::string_view path) {
  EStoreError mapped = OsError(osError, table);
  if (mapped.Code != kErrUnknownOs) return mapped;
  const std::string_view name = path.substr(path.find_last_of('/') + 1);
  return EStoreError(kErrUnknownOs, std::string(std::strerror(osError)) + " while " + VerbOf(op) + " '" +
                                        std::string(name) + "'");
}

}  // namespace velquin::store
