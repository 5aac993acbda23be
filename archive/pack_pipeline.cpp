#include "archive/pack_pipeline.h"

#include <climits>
#include <cstdlib>
#include <new>
#include <system_error>

#include "archive/archive_packer.h"
#include "archive/file_io.h"
#include "archive/zbuffer.h"

namespace kestrel {

PreparedFile PrepareFile(const std::string& path, const std::string& diskName) {
  PreparedFile prepared;
  try {
    BinaryFile source = BinaryFile::OpenRead(path);
    prepared.Size = source.Size();
    // Checked before anything is reserved; a wrapped size would otherwise go into the table.
    if (prepared.Size > INT32_MAX) {
      prepared.Result = PreparedFile::Outcome::Stop;
      prepared.Message = EntryTooLargeMessage(diskName);
      return prepared;
    }
    try {
      std::vector<uint8_t> bytes(static_cast<size_t>(prepared.Size));
      source.ReadExact(bytes.data(), bytes.size());
      prepared.Encoded = CompressBuffer(bytes.data(), bytes.size(), 3);
      // A stream exactly as long as the file would read back as a stored entry: store the file.
      if (prepared.Encoded.size() == bytes.size()) prepared.Encoded.swap(bytes);
    } catch (const std::bad_alloc&) {
      prepared.Message = kPackAllocationFailedMessage;
    } catch (const EZLibError& e) {
      prepared.Message = e.what();
    } catch (const EInOutError& e) {
      prepared.Message = e.what();  // a source that cannot be read
    }
    if (!prepared.Message.empty()) {
      prepared.Result = PreparedFile::Outcome::Stop;
      prepared.Encoded = {};
      return prepared;
    }
    source.Close();
  } catch (...) {
    // A source that cannot be opened or closed: not something packing steps over.
    prepared = PreparedFile{};
    prepared.Result = PreparedFile::Outcome::Exception;
    prepared.Error = std::current_exception();
  }
  return prepared;
}

unsigned PackJobsFromEnvironment() {
  if (const char* text = std::getenv("KESTREL_JOBS")) {
    char* end = nullptr;
    const unsigned long jobs = std::strtoul(text, &end, 10);
    if (end != text && *end == '\0' && jobs >= 1) return static_cast<unsigned>(std::min<unsigned long>(jobs, 256));
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

PreparedFileSource::PreparedFileSource(std::vector<std::string> paths, std::vector<std::string> diskNames,
                                       unsigned jobs)
    : paths_(std::move(paths)), diskNames_(std::move(diskNames)) {
  // A single file gains nothing from a thread of its own.
  const size_t workers = std::min<size_t>(jobs, paths_.size());
  if (workers <= 1) return;
  window_ = 2 * workers;
  try {
    for (size_t i = 0; i < workers; ++i) workers_.emplace_back(&PreparedFileSource::Work, this);
  } catch (const std::system_error&) {
    // Fewer threads than asked for still pack the same archive; none at all packs on this thread.
  }
}

PreparedFileSource::~PreparedFileSource() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  roomForWork_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void PreparedFileSource::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    roomForWork_.wait(lock, [&] {
      return stopping_ || nextToClaim_ >= paths_.size() || nextToClaim_ - nextToTake_ < window_;
    });
    if (stopping_ || nextToClaim_ >= paths_.size()) return;
    const size_t index = nextToClaim_++;
    lock.unlock();
    PreparedFile prepared = PrepareFile(paths_[index], diskNames_[index]);
    lock.lock();
    ready_.emplace(index, std::move(prepared));
    fileReady_.notify_all();
  }
}

PreparedFile PreparedFileSource::Take(size_t index) {
  if (workers_.empty()) return PrepareFile(paths_[index], diskNames_[index]);
  std::unique_lock lock(mutex_);
  fileReady_.wait(lock, [&] { return ready_.count(index) != 0; });
  PreparedFile prepared = std::move(ready_.at(index));
  ready_.erase(index);
  nextToTake_ = index + 1;
  lock.unlock();
  roomForWork_.notify_all();
  return prepared;
}

}  // namespace kestrel
