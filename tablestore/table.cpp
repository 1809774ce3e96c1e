#include "tablestore/table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tablestore/data_cursor.h"
#include "tablestore/data_session.h"
#include "tablestore/data_table.h"
#include "tablestore/store_error_codes.h"

namespace velquin {

using store::TDataCursor;
using store::TDataTable;

struct TTable::Impl {
  std::unique_ptr<TDataTable> table;
  std::unique_ptr<TDataCursor> cursor;
  TDataSetState state = TDataSetState::dsInactive;
  bool bof = true;
  bool eof = true;
  store::TRow pending;
  bool modified = false;
  std::vector<TFieldValue> keyBuffer;
  std::vector<TFieldValue> savedKeyBuffer;
  std::vector<TDataSource*> sources;
  int suspensions = 0;
  std::string indexName;

  void Notify(std::string_view field) {
    if (suspensions > 0 || state == TDataSetState::dsInactive) return;
    for (TDataSource* source : std::vector<TDataSource*>(sources)) {
      // A handler may detach other sources: only those still attached hear of the change.
      if (std::find(sources.begin(), sources.end(), source) == sources.end()) continue;
      if (source->OnDataChange) source->OnDataChange(field);
    }
  }
};

namespace {

store::TDataDirectory& DirectoryOf(const std::string& folder) {
  return store::TDataSession::Default().Directory(folder);
}

}  // namespace

TDataSource::~TDataSource() { SetDataSet(nullptr); }

void TDataSource::SetDataSet(TTable* table) {
  if (table_ == table) return;
  if (table_) std::erase(table_->impl_->sources, this);
  table_ = table;
  if (table_) table_->impl_->sources.push_back(this);
}

TTable::TTable(std::string name) : name_(std::move(name)), impl_(std::make_unique<Impl>()) {}

TTable::~TTable() {
  try {
    Close();
  } catch (const std::exception&) {
    // A destructor cannot report; the files are closed either way.
  }
  for (TDataSource* source : std::vector<TDataSource*>(impl_->sources)) source->SetDataSet(nullptr);
}

namespace {

EDatabaseError RowSetError(const std::string& name, const std::string& text) {
  return EDatabaseError(name + ": " + text);
}

}  // namespace

// --- notifications ---------------------------------------------------------------------------

void TTable::SuspendNotifications() { ++impl_->suspensions; }

void TTable::ResumeNotifications() {
  if (impl_->suspensions == 0) return;
  if (--impl_->suspensions == 0) impl_->Notify("");
}

bool TTable::NotificationsSuspended() const { return impl_->suspensions > 0; }

// --- table-level operations ------------------------------------------------------------------

bool TTable::Active() const { return impl_->state != TDataSetState::dsInactive; }

bool TTable::OpenedReadOnly() const { return Active() && !impl_->table->Writable(); }

bool TTable::Exists() const {
  if (Active()) return true;
  if (TableName.empty()) return false;
  return TDataTable::Exists(DirectoryOf(DatabaseName), TableName);
}

void TTable::CreateTable() {
  if (Active()) throw RowSetError(name_, "Cannot perform this operation on an open dataset");
  TDataTable::Create(DirectoryOf(DatabaseName), TableName, FieldDefs, IndexDefs);
}

bool TTable::CheckAndRepair(bool forceIndexRebuild) {
  if (Active()) throw RowSetError(name_, "Cannot perform this operation on an open dataset");
  const store::TTableDefs defs{FieldDefs, IndexDefs};
  TDataTable table(DirectoryOf(DatabaseName), TableName, false, FieldDefs.empty() ? nullptr : &defs);
  if (!table.Writable()) throw store::StoreError(store::kErrAccessDenied, {table.Name()});
  bool clean = table.CheckAndRepair(forceIndexRebuild);
  table.Close();
  return clean;
}

bool TTable::UpgradeFields() {
  if (Active()) throw RowSetError(name_, "Cannot perform this operation on an open dataset");
  return TDataTable::UpgradeFields(DirectoryOf(DatabaseName), TableName, FieldDefs);
}

void TTable::Open() {
  if (Active()) return;
  auto table = std::make_unique<TDataTable>(DirectoryOf(DatabaseName), TableName, ReadOnly);
  int index = table->IndexNumber(impl_->indexName);
  if (index < 0) throw store::StoreError(store::kErrInvalidIndexName, {impl_->indexName, table->Name()});
  auto cursor = std::make_unique<TDataCursor>(*table);
  cursor->SetIndex(static_cast<std::size_t>(index));
  cursor->First();
  // The files define the table: its definitions replace the settings.
  FieldDefs = table->Fields();
  IndexDefs.clear();
  for (std::size_t i = 0; i < table->IndexCount(); ++i) {
    const auto& info = table->Index(i);
    TIndexDef def{info.Name, "", info.Options};
    for (std::uint16_t field : info.Fields) {
      def.Fields += (def.Fields.empty() ? "" : ";") + table->Fields()[field].Name;
    }
    IndexDefs.push_back(std::move(def));
  }
  impl_->table = std::move(table);
  impl_->cursor = std::move(cursor);
  impl_->state = TDataSetState::dsBrowse;
  impl_->keyBuffer.assign(impl_->table->Fields().size(), std::monostate{});
  impl_->bof = true;
  impl_->eof = !impl_->cursor->HasRow();
  impl_->Notify("");
}

void TTable::Close() {
  if (!Active()) return;
  impl_->state = TDataSetState::dsInactive;
  impl_->cursor.reset();
  auto table = std::move(impl_->table);
  table->Close();
}

void TTable::Sync() {
  if (Active()) impl_->table->Sync();
}

void TTable::EmptyTable() {
  if (!Active()) {
    TDataTable table(DirectoryOf(DatabaseName), TableName, false);
    if (!table.Writable()) throw store::StoreError(store::kErrAccessDenied, {table.Name()});
    table.Empty();
    table.Close();
    return;
  }
  if (!Exclusive) throw store::StoreError(store::kErrMustBeExclusive, {impl_->table->Name()});
  if (!impl_->table->Writable()) throw store::StoreError(store::kErrAccessDenied, {impl_->table->Name()});
  if (impl_->state != TDataSetState::dsBrowse) Cancel();
  impl_->cursor->Empty();
  impl_->bof = impl_->eof = true;
  impl_->Notify("");
}

// --- row set ----------------------------------------------------------------------------------

namespace {

void RequireActive(const TTable& table, const std::string& name) {
  if (!table.Active()) throw EDatabaseError(name + ": Cannot perform this operation on a closed dataset");
}

}  // namespace

TDataSetState TTable::State() const { return impl_->state; }

// Leaves edit, insert and key entry before a move: a changed row is posted, an unchanged one
// dropped; key entry ends keeping its key buffer.
static void CheckBrowseMode(TTable& table, TDataSetState state, bool modified) {
  if (state == TDataSetState::dsEdit || state == TDataSetState::dsInsert) {
    if (modified) {
      table.Post();
    } else {
      table.Cancel();
    }
  } else if (state == TDataSetState::dsSetKey) {
    table.Post();
  }
}

void TTable::First() {
  RequireActive(*this, name_);
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  impl_->cursor->First();
  impl_->bof = true;
  impl_->eof = !impl_->cursor->HasRow();
  impl_->Notify("");
}

void TTable::Last() {
  RequireActive(*this, name_);
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  impl_->cursor->Last();
  impl_->eof = true;
  impl_->bof = !impl_->cursor->HasRow();
  impl_->Notify("");
}

void TTable::Next() {
  RequireActive(*this, name_);
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  if (impl_->eof) return;
  if (impl_->cursor->Next()) {
    impl_->bof = false;
  } else {
    impl_->eof = true;
  }
  impl_->Notify("");
}

void TTable::Prior() {
  RequireActive(*this, name_);
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  if (impl_->bof) return;
  if (impl_->cursor->Prior()) {
    impl_->eof = false;
  } else {
    impl_->bof = true;
  }
  impl_->Notify("");
}

void TTable::MoveBy(std::int32_t distance) {
  RequireActive(*this, name_);
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  if (distance == 0 || !impl_->cursor->HasRow()) return;
  if ((distance > 0 && impl_->eof) || (distance < 0 && impl_->bof)) return;
  std::int64_t count = impl_->cursor->Count();
  std::int64_t target = std::int64_t{impl_->cursor->RecNo()} + distance;
  impl_->bof = target < 1;
  impl_->eof = target > count;
  impl_->cursor->MoveTo(static_cast<std::uint32_t>(std::clamp<std::int64_t>(target, 1, count)));
  impl_->Notify("");
}

bool TTable::Bof() const { return impl_->bof; }
bool TTable::Eof() const { return impl_->eof; }

std::int32_t TTable::RecordCount() const {
  if (!Active()) return 0;
  return static_cast<std::int32_t>(impl_->cursor->Count());
}

std::int32_t TTable::RecNo() const {
  if (!Active()) return 0;
  return static_cast<std::int32_t>(impl_->cursor->RecNo());
}

// --- fields -----------------------------------------------------------------------------------

namespace {

std::size_t FieldOf(const TDataTable& table, const std::string& name, std::string_view field) {
  int number = table.FieldNumber(field);
  if (number < 0) throw RowSetError(name, "Field '" + std::string(field) + "' not found");
  return static_cast<std::size_t>(number);
}

}  // namespace

const TFieldValue& TTable::ShownValue(std::size_t number) const {
  switch (impl_->state) {
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
      return impl_->pending.Values[number];
    case TDataSetState::dsSetKey:
      return impl_->keyBuffer[number];
    default:
      return impl_->cursor->Row().Values[number];
  }
}

TFieldValue TTable::FieldValue(std::string_view field) const {
  RequireActive(*this, name_);
  return ShownValue(FieldOf(*impl_->table, name_, field));
}

std::string_view TTable::FieldText(std::string_view field) const {
  RequireActive(*this, name_);
  const std::size_t number = FieldOf(*impl_->table, name_, field);
  if (impl_->table->Fields()[number].DataType != TFieldType::ftString) {
    throw RowSetError(name_, "Field '" + std::string(field) + "' is not a string field");
  }
  const TFieldValue& value = ShownValue(number);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return {};
}

std::size_t TTable::FieldNumber(std::string_view field) const {
  RequireActive(*this, name_);
  return FieldOf(*impl_->table, name_, field);
}

std::vector<std::uint32_t> TTable::ReadEveryRow(
    const std::function<void(const std::vector<TFieldValue>&)>& visit) {
  RequireActive(*this, name_);
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  return impl_->table->ReadEveryRow(impl_->cursor->IndexNumber(),
                                    [&](const store::TRow& row) { visit(row.Values); });
}

int TTable::FieldSize(std::string_view field) const {
  RequireActive(*this, name_);
  const TFieldDef& def = impl_->table->Fields()[FieldOf(*impl_->table, name_, field)];
  if (def.DataType != TFieldType::ftString) {
    throw RowSetError(name_, "Field '" + std::string(field) + "' is not a string field");
  }
  return def.Size;
}

void TTable::SetFieldValue(std::string_view field, const TFieldValue& value) {
  RequireActive(*this, name_);
  std::size_t number = FieldOf(*impl_->table, name_, field);
  const std::string& fieldName = impl_->table->Fields()[number].Name;
  switch (impl_->state) {
    case TDataSetState::dsSetKey: {
      const auto& fields = impl_->table->Index(impl_->cursor->IndexNumber()).Fields;
      if (std::find(fields.begin(), fields.end(), number) == fields.end()) {
        throw EDatabaseError("Field " + fieldName + " is not in the current index.");
      }
      impl_->keyBuffer[number] = impl_->table->Normalize(number, value);
      break;
    }
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
      impl_->pending.Values[number] = impl_->table->Normalize(number, value);
      impl_->modified = true;
      break;
    default:
      throw EDatabaseError("Table is not in edit or insert mode.");
  }
  impl_->Notify(fieldName);
}

std::string TTable::FieldAsString(std::string_view field) const {
  TFieldValue value = FieldValue(field);
  if (auto* text = std::get_if<std::string>(&value)) return *text;
  if (auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
  if (auto* real = std::get_if<double>(&value)) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", *real);
    return buffer;
  }
  return {};
}

std::int32_t TTable::FieldAsInteger(std::string_view field) const {
  TFieldValue value = FieldValue(field);
  if (auto* number = std::get_if<std::int32_t>(&value)) return *number;
  if (auto* real = std::get_if<double>(&value)) return static_cast<std::int32_t>(std::nearbyint(*real));
  if (auto* text = std::get_if<std::string>(&value)) {
    char* end = nullptr;
    long long parsed = std::strtoll(text->c_str(), &end, 10);
    if (end == text->c_str() || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) {
      throw EDatabaseError("'" + *text + "' is not a valid integer value");
    }
    return static_cast<std::int32_t>(parsed);
  }
  return 0;
}

double TTable::FieldAsDateTime(std::string_view field) const {
  TFieldValue value = FieldValue(field);
  if (auto* real = std::get_if<double>(&value)) return *real;
  if (auto* number = std::get_if<std::int32_t>(&value)) return *number;
  if (auto* text = std::get_if<std::string>(&value)) {
    throw EDatabaseError("'" + *text + "' is not a valid date and time");
  }
  return 0;
}

TFieldValue TTable::ValueAt(std::int32_t recNo, std::string_view field) const {
  RequireActive(*this, name_);
  std::size_t number = FieldOf(*impl_->table, name_, field);
  if (recNo < 1) return std::monostate{};
  store::TRow row;
  if (!impl_->cursor->RowAt(static_cast<std::uint32_t>(recNo), row)) return std::monostate{};
  return row.Values[number];
}

// --- changes ----------------------------------------------------------------------------------

void TTable::Append() {
  RequireActive(*this, name_);
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  if (!impl_->table->Writable()) throw store::StoreError(store::kErrAccessDenied, {impl_->table->Name()});
  impl_->pending.Rid = 0;
  impl_->pending.Values.assign(impl_->table->Fields().size(), std::monostate{});
  impl_->modified = false;
  impl_->state = TDataSetState::dsInsert;
  impl_->Notify("");
}

void TTable::Edit() {
  RequireActive(*this, name_);
  if (impl_->state == TDataSetState::dsEdit || impl_->state == TDataSetState::dsInsert) return;
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  if (!impl_->table->Writable()) throw store::StoreError(store::kErrAccessDenied, {impl_->table->Name()});
  if (!impl_->cursor->HasRow()) throw RowSetError(name_, "Cannot perform this operation on an empty dataset");
  impl_->pending = impl_->cursor->Row();
  impl_->modified = false;
  impl_->state = TDataSetState::dsEdit;
  impl_->Notify("");
}

void TTable::Post() {
  RequireActive(*this, name_);
  switch (impl_->state) {
    case TDataSetState::dsSetKey:
      impl_->state = TDataSetState::dsBrowse;
      return;
    case TDataSetState::dsInsert: {
      store::TRow row = impl_->pending;
      impl_->cursor->Insert(row);
      break;
    }
    case TDataSetState::dsEdit:
      impl_->cursor->Update(impl_->pending);
      break;
    default:
      return;
  }
  impl_->state = TDataSetState::dsBrowse;
  impl_->modified = false;
  impl_->bof = impl_->eof = false;
  impl_->Notify("");
}

void TTable::Cancel() {
  RequireActive(*this, name_);
  switch (impl_->state) {
    case TDataSetState::dsSetKey:
      impl_->keyBuffer = impl_->savedKeyBuffer;
      impl_->state = TDataSetState::dsBrowse;
      return;
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
      impl_->state = TDataSetState::dsBrowse;
      impl_->modified = false;
      // The views showed the pending row; they show the current row again.
      impl_->Notify("");
      return;
    default:
      return;
  }
}

void TTable::Delete() {
  RequireActive(*this, name_);
  if (impl_->state == TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  if (impl_->state == TDataSetState::dsEdit) Cancel();
  if (impl_->state == TDataSetState::dsSetKey) Post();
  if (!impl_->cursor->HasRow()) throw RowSetError(name_, "Cannot perform this operation on an empty dataset");
  if (!impl_->table->Writable()) throw store::StoreError(store::kErrAccessDenied, {impl_->table->Name()});
  impl_->cursor->Remove();
  impl_->bof = impl_->eof = !impl_->cursor->HasRow();
  impl_->Notify("");
}

// --- keys, indexes, bookmarks ----------------------------------------------------------------

void TTable::SetKey() {
  RequireActive(*this, name_);
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  impl_->savedKeyBuffer = impl_->keyBuffer;
  impl_->keyBuffer.assign(impl_->table->Fields().size(), std::monostate{});
  impl_->state = TDataSetState::dsSetKey;
  impl_->Notify("");
}

bool TTable::GotoKey() {
  RequireActive(*this, name_);
  if (impl_->state == TDataSetState::dsSetKey) {
    impl_->state = TDataSetState::dsBrowse;
    impl_->Notify("");
  } else {
    CheckBrowseMode(*this, impl_->state, impl_->modified);
  }
  std::size_t index = impl_->cursor->IndexNumber();
  auto key = impl_->table->BuildKey(index, impl_->keyBuffer, 0);
  key.resize(impl_->table->FieldsPart(index, key));
  if (!impl_->cursor->Find(key)) return false;
  impl_->bof = impl_->eof = false;
  impl_->Notify("");
  return true;
}

std::string TTable::IndexName() const { return impl_->indexName; }

void TTable::SetIndexName(const std::string& name) {
  if (!Active()) {
    impl_->indexName = name;
    return;
  }
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  int index = impl_->table->IndexNumber(name);
  if (index < 0) throw store::StoreError(store::kErrInvalidIndexName, {name, impl_->table->Name()});
  impl_->cursor->SetIndex(static_cast<std::size_t>(index));
  impl_->indexName = name;
  if (impl_->cursor->HasRow()) impl_->bof = impl_->eof = false;
  impl_->Notify("");
}

TBookmark TTable::GetBookmark() const {
  RequireActive(*this, name_);
  TBookmark bookmark;
  if (impl_->cursor->HasRow()) bookmark.Key = impl_->cursor->Key();
  return bookmark;
}

void TTable::GotoBookmark(const TBookmark& bookmark) {
  RequireActive(*this, name_);
  CheckBrowseMode(*this, impl_->state, impl_->modified);
  if (bookmark.Key.empty() || !impl_->cursor->GotoKey(bookmark.Key)) {
    throw RowSetError(name_, "Record not found");
  }
  impl_->bof = impl_->eof = false;
  impl_->Notify("");
}

void TTable::FreeBookmark(TBookmark& bookmark) {
  bookmark.Key.clear();
  bookmark.Key.shrink_to_fit();
}

}  // namespace velquin
