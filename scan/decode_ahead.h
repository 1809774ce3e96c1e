// TDecodeAhead: the pictures a caller is going to ask for, in the order it will ask for them (its
// plan), decoded and signed ahead on worker threads while the caller's own thread goes on with its
// work. Decoding is pure: a worker reads the file, writes its own bitmap and takes its memory share,
// and touches nothing else.
//
// Take(path) answers as decoding the file there and then would, whatever was decoded ahead:
// - a picture decoded ahead is handed out only while its file is unchanged since it was decoded;
//   otherwise, and for a path that is not next in the plan, the caller's thread decodes it;
// - the plan is only a forecast: the paths the caller passes over are dropped, decoded or not;
// - a picture refused for memory while others were being decoded is decoded again alone, once the
//   workers have finished those, so that how many threads decode never changes which pictures are
//   refused.
// A picture holds its pixels and its memory share only while it is decoded and signed: what waits to
// be taken is its signature and gray grid. So at most one picture per thread is in memory, and a
// worker done with small pictures goes on past a large one that another is still decoding, up to
// kLookAhead pictures beyond the one the caller waits for.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "imaging/bitmap32.h"
#include "platform/file_utils.h"
#include "scan/memory_budget.h"
#include "signature/picture_signer.h"
#include "signature/signature.h"

namespace velquin {

struct TDecodedPicture {
  // The signature of the picture decoded at full size: MakeSignature of its bitmap, or when normalising
  // EqualizeAndMakeSignature's.
  TSignature Signature{};
  // Its gray grid as stored (GrayGridToText of MakeGrayGrid of its bitmap).
  std::string Gray;
  // The stamp of the file as it was opened for decoding.
  TFileStamp Opened;
  // What decoding threw, or nullptr when the picture was decoded.
  std::exception_ptr Failure;

 private:
  friend class TDecodeAhead;
  // The file's stamps before and after decoding, when it had them, and whether memory was refused.
  bool HadBefore = false;
  bool HadAfter = false;
  TFileStamp Before;
  TFileStamp After;
  bool OutOfMemory = false;
};

class TDecodeAhead {
 public:
  // plan: the paths that will be asked for, in order, each a file LoadPicture decodes. threads as in
  // TDecodeSettings: 0 for one per core, 1 for none (every picture is decoded when it is asked for).
  TDecodeAhead(std::vector<std::string> plan, unsigned threads, bool normalize, TMemoryBudget& budget);
  // Waits for the pictures being decoded and drops whatever was decoded ahead.
  ~TDecodeAhead();
  TDecodeAhead(const TDecodeAhead&) = delete;
  TDecodeAhead& operator=(const TDecodeAhead&) = delete;

  // How often a caller waiting for a worker gets to run its own work.
  static constexpr std::chrono::milliseconds kWaitSlice{40};
  // How far past the picture the caller waits for the workers may go. Far enough for one worker to get
  // through a run of small pictures while another decodes a photo many times their size; near enough
  // that a caller passing over much of its plan wastes little.
  static constexpr std::size_t kLookAhead = 32;

  // The picture at path, decoded or with its failure. REQUIRES: IsPictureFile(path) was true; a file
  // gone since then fails to open. While the caller waits for a worker, whileWaiting (when given)
  // runs every kWaitSlice; what it throws passes on, and the picture waited for is dropped as if
  // passed over.
  std::unique_ptr<TDecodedPicture> Take(const std::string& path,
                                        const std::function<void()>& whileWaiting = {});

  // The worker threads: 0 when the caller's thread decodes alone.
  std::size_t Workers() const { return workers_.size(); }

 private:
  enum class TState : std::uint8_t {
    kPlanned,   // not started
    kDecoding,  // a worker has it
    kUnwanted,  // a worker has it, and drops it when done
    kDone,      // decoded, waiting to be taken
    kGone,      // taken, or passed over
  };

  // Decodes and signs path with the given bitmap and signer, its share taken from budget and given
  // back once it is signed.
  static std::unique_ptr<TDecodedPicture> Decode(const std::string& path, TBitmap32& bitmap,
                                                 TPictureSigner& signer, TMemoryBudget& budget);
  // True when the file at path is as it was while picture was decoded from it.
  static bool StillCurrent(const TDecodedPicture& picture, const std::string& path);

  void Work();
  // Decodes on the caller's thread.
  std::unique_ptr<TDecodedPicture> DecodeHere(const std::string& path);
  // Decodes on the caller's thread while no other picture is being decoded, then lets the workers go
  // on.
  std::unique_ptr<TDecodedPicture> DecodeAlone(const std::string& path);
  // The planned picture at index, once a worker has done it; whileWaiting as for Take. Under the lock.
  std::unique_ptr<TDecodedPicture> WaitFor(std::size_t index, std::unique_lock<std::mutex>& lock,
                                           const std::function<void()>& whileWaiting);
  // Drops the plan's pictures before index (cursor_ on). Under the lock.
  void PassOver(std::size_t index);
  // Drops the plan's picture at index, decoded or not. Under the lock.
  void Drop(std::size_t index);
  // Whether a worker may start the next planned picture; moves next_ past what is gone. Under the lock.
  bool CanStart();

  const std::vector<std::string> plan_;
  std::unordered_map<std::string, std::size_t> planIndex_;
  const bool normalize_;
  TMemoryBudget& budget_;

  // The caller's own bitmap and signer.
  TBitmap32 bitmap_;
  TPictureSigner signer_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TState> states_;
  std::vector<std::unique_ptr<TDecodedPicture>> done_;
  std::size_t next_ = 0;      // the next planned picture a worker may start
  std::size_t cursor_ = 0;    // the plan's pictures before it were taken or passed over
  std::size_t inFlight_ = 0;  // being decoded
  bool paused_ = false;       // a picture is decoded alone
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace velquin
