// The ranking of a match pass: the rows in the order of the Sigs table's BySignature index, that is in
// the order of their keys (Signature texts, or their values in the written form, which order alike),
// and among equal keys in the order the index keeps them in, which only the caller knows.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace velquin {

// The key of a row; the view must stay valid while the ranking runs.
using TKeyOf = std::function<std::string_view(std::uint32_t row)>;
// Puts rows of equal keys, handed over in ascending row number, in the order the caller knows.
using TOrderTies = std::function<void(std::span<std::uint32_t> rows)>;

// Returns the row numbers 0 .. rows - 1 by rank: ordered by key, bytes compared unsigned (a
// key that begins a longer key comes first); each run of equal keys is ordered by orderTies.
std::vector<std::uint32_t> RankByKey(std::uint32_t rows, const TKeyOf& keyOf, const TOrderTies& orderTies);

}  // namespace velquin
