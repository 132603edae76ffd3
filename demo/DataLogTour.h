// The demo's data log: the whole tour logged into a WPILib data log (.wpilog), summarised, and
// replayed into fresh simulators.
#pragma once

#include <filesystem>

struct WPI_DataLog;

namespace halvern::demo {

/** A .wpilog file in the temporary folder, handed to the library from creation to finish(). */
class TourLog {
 public:
  TourLog();
  TourLog(const TourLog&) = delete;
  TourLog& operator=(const TourLog&) = delete;
  ~TourLog();

  /** Stops the library's logging and closes the file; returns its path. */
  std::filesystem::path finish();

 private:
  std::filesystem::path m_path;
  WPI_DataLog* m_log = nullptr;  // released by finish()
};

/** Prints the log's path, its entries and records, and each device's signals. */
void showDataLog(const std::filesystem::path& path);

/** Plays the log into fresh simulators and prints what the library reads back. */
void replayTour(const std::filesystem::path& path);

}  // namespace halvern::demo
