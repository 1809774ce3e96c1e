#include "tablestore/data_cursor.h"

#include <algorithm>

namespace velquin::store {

TDataCursor::TDataCursor(TDataTable& table) : table_(table) {
  std::size_t primary = static_cast<std::size_t>(std::max(0, table.IndexNumber("")));
  index_ = primary;
  First();
}

void TDataCursor::Clear() {
  hasRow_ = false;
  key_.clear();
  rid_ = 0;
  rowLoaded_ = false;
}

void TDataCursor::Take(const TIndexFile::TPosition& position) {
  TIndexFile& trees = table_.Trees();
  position_ = position;
  if (trees.AtEnd(position_)) {
    Clear();
    return;
  }
  auto key = trees.KeyAt(position_);
  key_.assign(key.begin(), key.end());
  rid_ = trees.RidAt(position_);
  hasRow_ = true;
  rowLoaded_ = false;
}

// The tree may have changed under the remembered path: find the current key again.
void TDataCursor::Sync() {
  if (!hasRow_ || position_.Version == table_.Trees().Version()) return;
  TIndexFile& trees = table_.Trees();
  auto position = trees.LowerBound(index_, key_);
  if (trees.AtEnd(position)) {
    Last();
    return;
  }
  Take(position);
}

void TDataCursor::SetIndex(std::size_t index) {
  if (index == index_) return;
  if (!hasRow_) {
    index_ = index;
    First();
    return;
  }
  TRow row = Row();
  index_ = index;
  if (!GotoKey(table_.BuildKey(index, row.Values, row.Rid))) First();
}

std::uint32_t TDataCursor::RecNo() {
  if (!hasRow_) return 0;
  Sync();
  return position_.Rank + 1;
}

const TRow& TDataCursor::Row() {
  if (!rowLoaded_) {
    if (hasRow_) {
      table_.Read(rid_, row_);
    } else {
      row_.Rid = 0;
      row_.Values.assign(table_.Fields().size(), std::monostate{});
    }
    rowLoaded_ = true;
  }
  return row_;
}

void TDataCursor::First() { Take(table_.Trees().AtRank(index_, 0)); }

void TDataCursor::Last() {
  std::uint32_t count = table_.Trees().Count(index_);
  Take(table_.Trees().AtRank(index_, count == 0 ? 0 : count - 1));
}

bool TDataCursor::Next() {
  if (!hasRow_) return false;
  Sync();
  TIndexFile::TPosition position = position_;
  if (!table_.Trees().Next(position)) return false;
  Take(position);
  return true;
}

bool TDataCursor::Prior() {
  if (!hasRow_) return false;
  Sync();
  TIndexFile::TPosition position = position_;
  if (!table_.Trees().Prior(position)) return false;
  Take(position);
  return true;
}

void TDataCursor::MoveTo(std::uint32_t recNo) {
  std::uint32_t count = table_.Trees().Count(index_);
  if (count == 0) {
    Clear();
    return;
  }
  recNo = std::clamp<std::uint32_t>(recNo, 1, count);
  Take(table_.Trees().AtRank(index_, recNo - 1));
}

bool TDataCursor::RowAt(std::uint32_t recNo, TRow& row) {
  TIndexFile& trees = table_.Trees();
  if (recNo == 0 || recNo > trees.Count(index_)) return false;
  if (hasRow_ && recNo == RecNo()) {
    row = Row();
    return true;
  }
  auto position = trees.AtRank(index_, recNo - 1);
  if (trees.AtEnd(position)) return false;
  table_.Read(trees.RidAt(position), row);
  return true;
}

bool TDataCursor::Find(const TKey& key) {
  TIndexFile& trees = table_.Trees();
  if (table_.IsUnique(index_)) return GotoKey(key);
  TKey probe = key;
  probe.insert(probe.end(), 4, 0);
  auto position = trees.LowerBound(index_, probe);
  if (trees.AtEnd(position)) return false;
  auto found = trees.KeyAt(position);
  std::size_t width = table_.FieldsPart(index_, found);
  if (!std::equal(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(width), key.begin(),
                  key.end())) {
    return false;
  }
  Take(position);
  return true;
}

bool TDataCursor::GotoKey(std::span<const std::uint8_t> key) {
  TIndexFile& trees = table_.Trees();
  auto position = trees.LowerBound(index_, key);
  if (trees.AtEnd(position)) return false;
  auto found = trees.KeyAt(position);
  if (!std::equal(found.begin(), found.end(), key.begin(), key.end())) return false;
  Take(position);
  return true;
}

void TDataCursor::Insert(TRow& row) {
  table_.Insert(row);
  GotoKey(table_.BuildKey(index_, row.Values, row.Rid));
}

void TDataCursor::Update(const TRow& after) {
  TRow before = Row();
  table_.Update(before, after);
  rowLoaded_ = false;
  GotoKey(table_.BuildKey(index_, after.Values, after.Rid));
}

void TDataCursor::Remove() {
  if (!hasRow_) return;
  TKey key = key_;
  table_.Remove(rid_);
  TIndexFile& trees = table_.Trees();
  auto position = trees.LowerBound(index_, key);
  if (trees.AtEnd(position)) {
    Last();
  } else {
    Take(position);
  }
}

void TDataCursor::Empty() {
  table_.Empty();
  Clear();
}

}  // namespace velquin::store
