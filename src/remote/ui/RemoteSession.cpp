#include "remote/ui/RemoteSession.h"

#include <QTimer>

#include "remote/RemoteDelete.h"
#include "remote/RemoteListing.h"
#include "remote/RemotePaths.h"

namespace quillon {

namespace {

constexpr const char* kNotConnected = "Not connected.";

// Lists `folder` on `connection` and returns to the folder that was current.
std::optional<std::vector<RemoteEntry>> ListFolder(FtpConnection& connection,
                                                   const std::string& folder, std::string& error) {
  std::optional<std::string> remembered = connection.CurrentFolder();
  if (!connection.SetCurrentFolder(folder)) {
    error = connection.LastError();
    return std::nullopt;
  }
  auto entries = connection.List();
  if (!entries) error = connection.LastError();
  if (remembered && !remembered->empty()) connection.SetCurrentFolder(*remembered);
  return entries;
}

std::string WithReply(std::string text, const std::string& reply) {
  if (!reply.empty()) text += "\n\n" + reply;
  return text;
}

}  // namespace

void RemoteSession::LogRelay::AddLine(std::string_view text, int32_t colour) {
  std::lock_guard lock(mutex);
  if (target) target->AddLine(text, colour);
}

RemoteSession::RemoteSession(FtpConnector& connector, QObject* parent)
    : QObject(parent), connector_(connector), log_(std::make_shared<LogRelay>()) {}

RemoteSession::~RemoteSession() {
  SetActivityLog(nullptr);
  worker_.reset();
}

void RemoteSession::SetActivityLog(ActivityLog* log) {
  std::lock_guard lock(log_->mutex);
  log_->target = log;
}

void RemoteSession::Disconnect() {
  worker_.reset();
  connected_ = connecting_ = false;
  ++generation_;
  if (active_ > 0) {
    active_ = 0;
    emit busyChanged(false);
  }
}

void RemoteSession::Run(ConnectionWorker::Task task, std::function<void()> failed, bool quiet) {
  if (!quiet && ++active_ == 1) emit busyChanged(true);
  const uint64_t generation = generation_;
  if (!worker_) {
    // Answered later all the same, like every result.
    QTimer::singleShot(0, this, Finished(generation, quiet, std::move(failed)));
    return;
  }
  worker_->Post(
      [this, generation, quiet, task = std::move(task)](std::shared_ptr<FtpConnection>& connection)
          -> std::function<void()> { return Finished(generation, quiet, task(connection)); },
      Finished(generation, quiet, std::move(failed)));
}

// Made on the worker's thread too: it reads no member, it only captures.
std::function<void()> RemoteSession::Finished(uint64_t generation, bool quiet,
                                              std::function<void()> result) {
  return [this, generation, quiet, result = std::move(result)] {
    if (generation != generation_) return;
    if (result) result();
    // The result may have disconnected (which settles the count) or asked for more.
    if (!quiet && generation == generation_ && --active_ == 0) emit busyChanged(false);
  };
}

void RemoteSession::Connect(const ConnectionProfile& profile,
                            std::function<void(bool, const std::string&)> done) {
  Disconnect();
  worker_ = std::make_unique<ConnectionWorker>([this](std::function<void()> result) {
    QMetaObject::invokeMethod(this, std::move(result), Qt::QueuedConnection);
  });
  connecting_ = true;
  auto finish = [this, done, profile](bool ok, const std::string& error,
                                      const std::optional<ServerIdentity>& untrusted) {
    // Trusted: still connecting, until the new connect ends.
    if (!ok && untrusted && AskTrust(*untrusted, profile, done)) return;
    connecting_ = false;
    connected_ = ok;
    done(ok, error);
  };
  FtpConnectParameters server = ConnectParametersOf(profile);
  if (trust_) trust_->Apply(server);
  Run(
      [&connector = connector_, server,
       finish](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
        ConnectFailure failure;
        connection = connector.OpenExplained(server, &failure);
        const bool ok = connection != nullptr;
        if (!ok && failure.text.empty()) failure.text = "Unknown error.";
        return [finish, ok, failure] { finish(ok, failure.text, failure.untrusted); };
      },
      [finish] { finish(false, "Unknown error.", std::nullopt); });
}

bool RemoteSession::AskTrust(const ServerIdentity& identity, const ConnectionProfile& profile,
                             const std::function<void(bool, const std::string&)>& done) {
  if (!trust_ || !trustAsker_) return false;
  const TrustAnswer answer = trustAsker_->Ask(identity);
  if (answer == TrustAnswer::Refuse) return false;
  if (answer == TrustAnswer::Always && !RememberTrust(identity, trust_->TrustFolder())) {
    std::lock_guard lock(log_->mutex);
    if (log_->target)
      log_->target->AddLine("Cannot write the trust file in " + trust_->TrustFolder() +
                                ": the server is trusted until the program ends.",
                            colour::kRed);
  }
  trust_->AcceptForSession(identity);
  // Connected again once this result is done with.
  QTimer::singleShot(0, this, [this, profile, done] { Connect(profile, done); });
  return true;
}

void RemoteSession::List(const std::string& folder, std::optional<std::string> fallback,
                         std::optional<std::string> rootToList,
                         std::function<void(RemoteFolderListing)> done) {
  Run(
      [folder, fallback, rootToList,
       done](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
        RemoteFolderListing listing;
        listing.requested = folder;
        if (!connection) {
          listing.error = kNotConnected;
          return [done, listing = std::move(listing)] { done(listing); };
        }
        auto entries = ListFolder(*connection, folder, listing.error);
        listing.folder = NormaliseRemoteFolder(folder);
        if (!entries && fallback) {
          std::string ignored;
          entries = ListFolder(*connection, *fallback, ignored);
          listing.folder = NormaliseRemoteFolder(*fallback);
          listing.fellBack = true;
        }
        if (entries) {
          listing.ok = true;
          listing.rows = MakeRemoteListRows(*entries, listing.folder);
          if (rootToList) {
            std::vector<std::string> names;
            std::string ignored;
            std::optional<std::vector<RemoteEntry>> rootEntries;
            if (SameRemoteFolder(*rootToList, listing.folder))
              rootEntries = std::move(entries);
            else
              rootEntries = ListFolder(*connection, NormaliseRemoteFolder(*rootToList), ignored);
            if (rootEntries)
              for (const auto& entry : *rootEntries)
                if (entry.isFolder && IsSafeRemoteName(entry.name)) names.push_back(entry.name);
            listing.rootFolders = std::move(names);
          }
        }
        return [done, listing = std::move(listing)]() mutable { done(std::move(listing)); };
      },
      [done, folder] {
        RemoteFolderListing listing;
        listing.requested = folder;
        listing.error = "Unknown error.";
        done(std::move(listing));
      });
}

void RemoteSession::CheckAlive(std::function<void(bool)> done) {
  Run(
      [done](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
        const bool alive = connection && connection->IsAlive();
        return [done, alive] { done(alive); };
      },
      [done] { done(false); }, true);
}

void RemoteSession::Rename(const std::string& from, const std::string& to,
                           std::function<void(bool, const std::string&)> done) {
  Run(
      [from, to, done](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
        const bool ok = connection && connection->Rename(from, to);
        std::string error = ok           ? std::string()
                            : connection ? connection->LastError()
                                         : kNotConnected;
        return [done, ok, error] { done(ok, error); };
      },
      [done] { done(false, "Unknown error."); });
}

void RemoteSession::CreateFolder(const std::string& path,
                                 std::function<void(bool, const std::string&)> done) {
  Run(
      [path, done](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
        const bool ok = connection && connection->CreateFolder(path);
        std::string error = ok           ? std::string()
                            : connection ? connection->LastError()
                                         : kNotConnected;
        return [done, ok, error] { done(ok, error); };
      },
      [done] { done(false, "Unknown error."); });
}

void RemoteSession::Delete(std::vector<DeleteItem> items,
                           std::function<void(std::vector<std::string>)> done) {
  Run(
      [items, done,
       log = log_](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
        std::vector<std::string> failures;
        for (const DeleteItem& item : items) {
          if (item.folder) {
            if (!connection || !DeleteRemoteFolder(*connection, item.path, *log))
              failures.push_back(WithReply("Cannot remove folder: " + item.path,
                                           connection ? connection->LastError() : kNotConnected));
          } else if (connection && connection->DeleteFile(item.path)) {
            log->AddLine("Delete: " + item.path, colour::kNeutral);
          } else {
            failures.push_back(WithReply("Cannot remove file: " + item.path,
                                         connection ? connection->LastError() : kNotConnected));
          }
        }
        return [done, failures = std::move(failures)] { done(failures); };
      },
      [done, items] {
        std::vector<std::string> failures;
        for (const DeleteItem& item : items)
          failures.push_back((item.folder ? "Cannot remove folder: " : "Cannot remove file: ") +
                             item.path);
        done(failures);
      });
}

void RemoteSession::HandOver(std::function<void(std::shared_ptr<FtpConnection>)> done) {
  auto finish = [this, done](std::shared_ptr<FtpConnection> connection) {
    connected_ = false;
    done(std::move(connection));
  };
  Run(
      [finish](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
        std::shared_ptr<FtpConnection> given;
        if (connection && connection->IsAlive()) given = std::move(connection);
        connection.reset();
        return [finish, given] { finish(given); };
      },
      [finish] { finish(nullptr); });
}

}  // namespace quillon
