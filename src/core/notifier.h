#pragma once
// How the engine tells a window something. Send waits until the receiver has
// handled the message; Post only queues it. The GUI delivers both onto its UI
// thread; the CLI and the tests record them.

#include <cstdint>
#include <mutex>
#include <vector>

namespace trovium {

// Message numbers.
inline constexpr int kMsgPreviewBlock = 1124;        // a preview block is ready
inline constexpr int kMsgPostScanBefore = 1126;      // post-scan work is about to start
inline constexpr int kMsgPostScanAfter = 1127;       // post-scan work has finished
inline constexpr int kMsgFirstFoundFile = 1128;      // the found-files volume got its first file
inline constexpr int kMsgOpenDirectory = 1224;       // (volume address, index)
inline constexpr int kMsgCheckStateChanged = 1225;   // (volume address, index)
inline constexpr int kMsgVolumesLoaded = 1226;       // (4, 0)
inline constexpr int kMsgViewModeChanged = 1227;     // (mode, 0)
inline constexpr int kMsgFirstRealVolume = 1228;     // (volume index, 0)
inline constexpr int kMsgVolumeAdded = 1229;         // (volume index, 0)
inline constexpr int kMsgFoundFileAdded = 1230;
inline constexpr int kMsgRecordRenamed = 1231;       // (volume address, index)
inline constexpr int kMsgThumbnailReady = 1233;      // posted: (volume address, index)

class Notifier {
 public:
  virtual ~Notifier() = default;
  // Returns once the receiver has handled the message.
  virtual void Send(int message, uint64_t wparam, uint64_t lparam) = 0;
  // Returns at once.
  virtual void Post(int message, uint64_t wparam, uint64_t lparam) = 0;
};

// Keeps every message in order; safe to call from any thread.
class RecordingNotifier : public Notifier {
 public:
  struct Entry {
    int message = 0;
    uint64_t wparam = 0;
    uint64_t lparam = 0;
    bool posted = false;
    bool operator==(const Entry&) const = default;
  };

  void Send(int message, uint64_t wparam, uint64_t lparam) override { Add({message, wparam, lparam, false}); }
  void Post(int message, uint64_t wparam, uint64_t lparam) override { Add({message, wparam, lparam, true}); }

  std::vector<Entry> Entries() const {
    std::lock_guard<std::mutex> hold(lock_);
    return entries_;
  }
  size_t Count(int message) const {
    std::lock_guard<std::mutex> hold(lock_);
    size_t n = 0;
    for (const Entry& e : entries_) n += e.message == message;
    return n;
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    entries_.clear();
  }

 private:
  void Add(const Entry& e) {
    std::lock_guard<std::mutex> hold(lock_);
    entries_.push_back(e);
  }
  mutable std::mutex lock_;
  std::vector<Entry> entries_;
};

// The main window's notifier, process-wide; null until a front end sets one.
// The object must outlive every engine thread that may use it.
void SetNotifier(Notifier* notifier);
Notifier* GetNotifier();

}  // namespace trovium
