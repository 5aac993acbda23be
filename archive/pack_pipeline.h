// Reading and compressing the packer's source files, on worker threads when there are cores for
// it. The writer takes the files back in table order, so the archive and everything reported
// about it are the same whichever thread compressed what.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrel {

// One source file read and compressed, or the reason it was not.
struct PreparedFile {
  enum class Outcome {
    Ready,      // Encoded holds the entry's bytes
    Stop,       // packing stops here with Message (unreadable, no memory, zlib, too large)
    Exception,  // a file error packing cannot step over; Error is rethrown by the writer
  };
  Outcome Result = Outcome::Ready;
  int64_t Size = 0;                // the file's length
  std::vector<uint8_t> Encoded;    // level-9 stream, or the file itself where the stream is no shorter
  std::string Message;
  std::exception_ptr Error;
};

// Reads `path` whole and compresses it; `diskName` names it in messages. Never throws.
PreparedFile PrepareFile(const std::string& path, const std::string& diskName);

// How many files are compressed at once: KESTREL_JOBS when it holds a whole number from 1 up,
// otherwise one per core. 1 means everything happens on the calling thread.
unsigned PackJobsFromEnvironment();

// Hands out the prepared files in order. With one job each file is prepared when it is taken;
// with more, workers prepare files ahead of the writer, at most `2 x jobs` files beyond the one it
// waits for, so that memory stays bounded however large the directory.
class PreparedFileSource {
 public:
  PreparedFileSource(std::vector<std::string> paths, std::vector<std::string> diskNames, unsigned jobs);
  // Stops the workers; each finishes the file in hand.
  ~PreparedFileSource();
  PreparedFileSource(const PreparedFileSource&) = delete;
  PreparedFileSource& operator=(const PreparedFileSource&) = delete;

  // The files must be taken in order, 0, 1, 2, ...; the writer may stop taking at any point.
  PreparedFile Take(size_t index);
  unsigned Workers() const { return static_cast<unsigned>(workers_.size()); }

 private:
  void Work();

  const std::vector<std::string> paths_;
  const std::vector<std::string> diskNames_;
  size_t window_ = 0;
  std::mutex mutex_;
  std::condition_variable roomForWork_;
  std::condition_variable fileReady_;
  size_t nextToClaim_ = 0;  // guarded by mutex_, as are the three below
  size_t nextToTake_ = 0;
  bool stopping_ = false;
  std::map<size_t, PreparedFile> ready_;
  std::vector<std::thread> workers_;
};

}  // namespace kestrel
