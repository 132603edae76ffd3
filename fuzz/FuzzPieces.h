// How the lidar fuzz targets read their input: four piece sizes (1 to 256 bytes, used in turn),
// then the stream, fed in those pieces as a reader receives what is waiting on its port.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace halvern::fuzz {

inline constexpr std::size_t kPieceSizeBytes = 4;
inline constexpr std::size_t kLargestPiece = 256;

/** The stream part of an input, empty when the input is too short to hold the piece sizes. */
inline std::span<const uint8_t> streamOf(std::span<const uint8_t> input) {
  return input.size() < kPieceSizeBytes ? std::span<const uint8_t>{}
                                        : input.subspan(kPieceSizeBytes);
}

/** Calls `onPiece(newest, fedSoFar)` for each piece of the stream in order. */
template <typename OnPiece>
void feedInPieces(std::span<const uint8_t> input, OnPiece onPiece) {
  if (input.size() < kPieceSizeBytes) {
    return;
  }
  const auto pieceSizes = input.first(kPieceSizeBytes);
  const auto stream = streamOf(input);
  std::size_t fed = 0;
  for (std::size_t turn = 0; fed < stream.size(); ++turn) {
    const std::size_t piece =
        std::min(pieceSizes[turn % kPieceSizeBytes] % kLargestPiece + 1, stream.size() - fed);
    fed += piece;
    onPiece(stream.subspan(fed - piece, piece), stream.first(fed));
  }
}

}  // namespace halvern::fuzz
