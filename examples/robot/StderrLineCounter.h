// Counts the lines of the process's standard error that contain a word, while passing every
// byte on to where standard error went before: WPILib prints its loop-overrun warnings there.
#pragma once

#include <unistd.h>

#include <array>
#include <string>
#include <string_view>
#include <thread>

namespace halvern::example {

class StderrLineCounter {
 public:
  explicit StderrLineCounter(std::string_view word) : m_word(word) {
    int ends[2] = {-1, -1};
    if (pipe(ends) != 0) {
      return;
    }
    m_original = dup(STDERR_FILENO);
    dup2(ends[1], STDERR_FILENO);
    close(ends[1]);
    m_readEnd = ends[0];
    m_forwarder = std::thread([this] { Forward(); });
  }

  StderrLineCounter(const StderrLineCounter&) = delete;
  StderrLineCounter& operator=(const StderrLineCounter&) = delete;

  ~StderrLineCounter() { Stop(); }

  /** Gives standard error back and returns how many lines held the word. */
  int Stop() {
    if (m_forwarder.joinable()) {
      dup2(m_original, STDERR_FILENO);  // the pipe's last writer goes: the forwarder sees its end
      m_forwarder.join();
      close(m_readEnd);
      close(m_original);
    }
    return m_count;
  }

 private:
  void Forward() {
    std::array<char, 4096> buffer{};
    std::string line;
    while (true) {
      const ssize_t got = read(m_readEnd, buffer.data(), buffer.size());
      if (got <= 0) {
        break;
      }
      (void)!write(m_original, buffer.data(), static_cast<size_t>(got));
      for (ssize_t i = 0; i < got; ++i) {
        if (buffer[static_cast<size_t>(i)] == '\n') {
          m_count += line.find(m_word) != std::string::npos ? 1 : 0;
          line.clear();
        } else {
          line.push_back(buffer[static_cast<size_t>(i)]);
        }
      }
    }
    m_count += line.find(m_word) != std::string::npos ? 1 : 0;
  }

  std::string m_word;
  int m_original = -1;
  int m_readEnd = -1;
  int m_count = 0;
  std::thread m_forwarder;
};

}  // namespace halvern::example
