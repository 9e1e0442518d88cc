#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/ActivityLog.h"
#include "profiles/ConnectionProfile.h"
#include "remote/ConnectionWorker.h"
#include "remote/FtpConnection.h"
#include "remote/RemoteListItem.h"
#include "remote/ServerTrust.h"
#include "remote/SessionTrust.h"

namespace quillon {

// A listed remote folder, as a value.
struct RemoteFolderListing {
  bool ok = false;
  std::string requested;             // the folder asked for
  std::string folder;                // the folder listed (normalised; the root after a fallback)
  bool fellBack = false;             // the requested folder failed and the root was listed
  std::vector<RemoteListItem> rows;  // folders first, then files, in listing order
  std::optional<std::vector<std::string>> rootFolders;  // the root's sub-folders, when asked
  std::string error;                                    // why it failed (the server's reply)
};

// The browsing connection of a remote list: one ConnectionWorker per connection, so that no
// network call runs on the GUI thread. Every operation returns at once; `done` runs later on
// the GUI thread with a value, unless the session was disconnected (or destroyed) first.
// Operations run in the order they were asked for. GUI thread only.
class RemoteSession : public QObject {
  Q_OBJECT

 public:
  // `connector` must outlive every worker (see ConnectionWorker::WaitForDropped).
  explicit RemoteSession(FtpConnector& connector, QObject* parent = nullptr);
  ~RemoteSession() override;

  // Where "Delete: ..." lines go (any thread may write them); none drops them.
  void SetActivityLog(ActivityLog* log);

  // How connections are trusted: `trust` gives every connect the trust folder and what was
  // trusted for the session; a server whose certificate or host key is not trusted is asked
  // about through `asker` (none: the connect fails). Refused: the connect fails with its text;
  // trusted once: the session accepts it and connects again; always: it is recorded in the
  // trust files too (a file that cannot be written is reported to the activity log, and the
  // server is trusted for the session).
  void SetTrust(SessionTrust* trust, TrustAsker* asker) {
    trust_ = trust;
    trustAsker_ = asker;
  }

  // Drops any connection and opens one for `profile` on a new worker. `done(ok, error)`.
  void Connect(const ConnectionProfile& profile,
               std::function<void(bool ok, const std::string& error)> done);
  // Drops the worker at once: what it still does is abandoned and nothing more is reported
  // (a connect in progress is cancelled this way).
  void Disconnect();
  // A connection was made and has not been dropped or handed over.
  bool IsConnected() const { return connected_; }
  // A connect is under way.
  bool IsConnecting() const { return connecting_; }
  // Operations asked for whose results have not come back.
  bool IsBusy() const { return active_ > 0; }

  // Enters `folder`, lists it and returns to the folder that was current. With `fallback`, a
  // folder that cannot be listed is replaced by `*fallback` (the profile's root). With
  // `rootToList`, the sub-folders of that folder are listed too (for the folder combo).
  void List(const std::string& folder, std::optional<std::string> fallback,
            std::optional<std::string> rootToList, std::function<void(RemoteFolderListing)> done);

  // Asks the server for its current folder; `done(false)` when the connection is lost. The
  // check does not count as busy.
  void CheckAlive(std::function<void(bool alive)> done);

  // `done(ok, error)` with the server's reply on failure.
  void Rename(const std::string& from, const std::string& to,
              std::function<void(bool ok, const std::string& error)> done);
  void CreateFolder(const std::string& path,
                    std::function<void(bool ok, const std::string& error)> done);

  // One item to delete: a folder goes with everything in it.
  struct DeleteItem {
    std::string path;
    bool folder = false;
  };
  // Deletes each item in order ("Delete: " lines to the activity log); failures do not stop the
  // others. `done` gets one text per failure: "Cannot remove folder: PATH" or "Cannot remove
  // file: PATH", each followed by the server's reply on a line of its own.
  void Delete(std::vector<DeleteItem> items, std::function<void(std::vector<std::string>)> done);

  // Hands the connection over for job building, checked alive first: `done` gets it (null when
  // lost or none); the session then has none (IsConnected() false). Whoever holds it uses it on
  // one thread at a time.
  void HandOver(std::function<void(std::shared_ptr<FtpConnection>)> done);

 signals:
  // Busy from the first operation asked for until the last result came back.
  void busyChanged(bool busy);

 private:
  // Logs for tasks on the worker's thread; forgotten when the session goes.
  struct LogRelay : ActivityLog {
    std::mutex mutex;
    ActivityLog* target = nullptr;
    void AddLine(std::string_view text, int32_t colour) override;
  };

  // Runs `task` on the worker; its result (or `failed`) runs here. A `quiet` task does not make
  // the session busy (the keep-alive check).
  void Run(ConnectionWorker::Task task, std::function<void()> failed, bool quiet = false);
  std::function<void()> Finished(uint64_t generation, bool quiet, std::function<void()> result);

  // Asks about an untrusted server after a failed connect; true when a new connect began.
  bool AskTrust(const ServerIdentity& identity, const ConnectionProfile& profile,
                const std::function<void(bool, const std::string&)>& done);

  FtpConnector& connector_;
  SessionTrust* trust_ = nullptr;
  TrustAsker* trustAsker_ = nullptr;
  std::unique_ptr<ConnectionWorker> worker_;
  std::shared_ptr<LogRelay> log_;
  bool connected_ = false;
  bool connecting_ = false;
  int active_ = 0;
  uint64_t generation_ = 0;  // counts the workers dropped: older results are stale
};

}  // namespace quillon
