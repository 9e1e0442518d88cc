#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "profiles/ConnectParameters.h"
#include "remote/ServerTrust.h"

namespace quillon {

// One entry of a remote folder listing. "." and ".." never appear, nor names that contain "/"
// or NUL; a symbolic link is listed as a plain file.
struct RemoteEntry {
  std::string name;  // the name inside its folder
  std::string path;  // folder + "/" + name
  bool isFolder = false;
  uint64_t size = 0;
  TimePoint lastWrite{};
};

enum class RemoteFileMode { Read, Write };

// An open data transfer of one remote file. Used by the thread that opened it only.
class RemoteFile {
 public:
  virtual ~RemoteFile() = default;

  // Reads at most `size` bytes (callers pass 4096). Returns the number read, 0 at the end of
  // the server's data, -1 on failure (ErrorText says why). Fewer than `size` bytes come back
  // only when the server's data ends within this chunk.
  virtual int64_t Read(char* buffer, size_t size) = 0;

  // Writes all `size` bytes, or fails (ErrorText says why).
  virtual bool Write(const char* data, size_t size) = 0;

  // Puts up to `size` bytes of the file into `buffer` and returns how many; 0 ends the file,
  // kAbandon gives the upload up.
  using FillFunction = std::function<size_t(char* buffer, size_t size)>;
  static constexpr size_t kAbandon = SIZE_MAX;

  // Sends what `fill` gives until it returns 0. Where the transfer has buffers of its own,
  // `fill` writes straight into them, so the bytes are not copied on their way. A caller that
  // cannot finish the file (a stop, a read error) returns kAbandon: the transfer is cut off
  // without asking the server to keep it, nothing of UploadFinish happens, and WriteFrom returns
  // false (callers delete the partial file). False also when the transfer failed (ErrorText says
  // why); Close still confirms the file.
  virtual bool WriteFrom(const FillFunction& fill);

  // Ends the transfer: true when the server confirmed the whole transfer. A read closed before
  // the end of the data is abandoned (false); a write ends the file with what was written.
  virtual bool Close() = 0;

  // Abandons the transfer between two chunks (a stop); the connection stays usable. A write
  // leaves what was sent so far on the server (callers delete the partial file).
  virtual void Abort() = 0;

  virtual const std::string& ErrorText() const = 0;

  // What the server answered to the UploadFinish of an upload, once Close confirmed the file.
  struct FinishAnswers {
    bool renamed = false;          // RNFR/RNTO moved the file to its final name
    bool renameRefused = false;    // the server answered no to RNFR or RNTO (not renamed and
                                   // not refused: the connection failed before the answer)
    std::string renameError;       // why the rename failed, when it was asked for and failed
    std::optional<uint64_t> size;  // SIZE of the file under its final name, when answered
    bool sizeUnusable = false;     // SIZE is unknown to the server, or its answer is no number
  };
  virtual const FinishAnswers& Answers() const { return noAnswers_; }

 private:
  FinishAnswers noAnswers_;
};

// What an upload asks the server right after the server confirmed the whole file: a rename to
// the final name, and the size there.
struct UploadFinish {
  std::string renameTo;  // not empty: RNFR the uploaded path, RNTO this one (replacing a file)
  bool askSize = false;  // SIZE of the file under its final name
};

// How a failed operation failed, so callers can word it: the server answered no on a working
// connection (550 and the like), or anything else ended it (a lost connection, a time-out, a
// reply that makes no sense, our own limits).
enum class FtpFailure { Refused, Other };

// One FTP control connection and what can be done on it. Used by one thread at a time; every
// failure returns false / nullopt / null and leaves a one-line text in LastError().
// Paths with CR, LF or NUL are refused without sending anything.
class FtpConnection {
 public:
  virtual ~FtpConnection() = default;

  // The server's current folder; nullopt (or an empty text) means the connection is lost.
  virtual std::optional<std::string> CurrentFolder() = 0;
  virtual bool SetCurrentFolder(const std::string& folder) = 0;

  // A fresh listing of the current folder.
  virtual std::optional<std::vector<RemoteEntry>> List() = 0;

  virtual bool CreateFolder(const std::string& path) = 0;  // false when it exists already
  virtual bool RemoveFolder(const std::string& path) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool Rename(const std::string& from, const std::string& to) = 0;

  // The file's size on the server (SIZE), nullopt when unknown.
  virtual std::optional<uint64_t> Size(const std::string& path) = 0;

  // Opens a data transfer; binary or ASCII by `binary`. Null on failure.
  virtual std::unique_ptr<RemoteFile> OpenFile(const std::string& path, RemoteFileMode mode,
                                               bool binary) = 0;

  // Opens `path` for writing, with `finish` done by Close once the server has confirmed the
  // whole file (RemoteFile::Answers tells how it went): Rename, then Size, each command sent
  // after the reply to the one before. An ASCII upload is not sized (the server counts other
  // line ends than were sent): its answers say the size is unusable.
  std::unique_ptr<RemoteFile> OpenUpload(const std::string& path, bool binary,
                                         const UploadFinish& finish);

  // True once the control connection is known to be gone, without asking the server: a later
  // call would have to log in again, or fails. A lane then makes a new connection.
  virtual bool IsBroken() const { return false; }

  // After an OpenFile that failed: true when the server had accepted the transfer first (FTP:
  // 125/150 to RETR or STOR), so the failure was a try of the file and not a connection that
  // was gone before the server heard of it. True unless the connection can tell.
  virtual bool OpenWasAccepted() const { return true; }

  // How the last failure failed (meaningful after a call returned false / nullopt / null).
  virtual FtpFailure LastFailure() const { return FtpFailure::Refused; }

  // True once the server answered SIZE as a command it does not know (500, 502, 504) or with a
  // reply that holds no usable number: SIZE then confirms nothing on this server.
  virtual bool SizeUnusable() const { return false; }

  // The names of the last listing that were left out as unsafe ("..", names with "/" or
  // control characters), taken once.
  virtual std::vector<std::string> TakeSkippedNames() { return {}; }

  // While *stop is true, a data transfer (and the wait for it) ends within about 200 ms as a
  // failure; other commands still run. The flag must outlive the connection or be reset to null.
  virtual void SetStopFlag(const std::atomic<bool>* stop) { (void)stop; }

  // Alive when CurrentFolder answers a non-empty text.
  bool IsAlive() {
    auto folder = CurrentFolder();
    return folder && !folder->empty();
  }

  virtual const std::string& LastError() const = 0;
};

// Why a connection could not be made.
struct ConnectFailure {
  std::string text;  // one line (FtpError), never holding a password or passphrase
  // Set when the server's certificate or host key neither checks out nor is trusted: what it
  // presented. The connection stopped before anything was sent (no user name, no password), so
  // asking the user and connecting again is safe.
  std::optional<ServerIdentity> untrusted;
};

// Makes connections to a server (ConnectParametersOf a profile). May be called from any thread. On
// failure it returns null and the error text is reported as the implementation says (MainApp keeps
// it as the last connection error).
class FtpConnector {
 public:
  virtual ~FtpConnector() = default;
  virtual std::unique_ptr<FtpConnection> Open(const FtpConnectParameters& server) = 0;

  // Open that also tells why it failed: on null, *errorOut (when given) receives this call's
  // one-line error text (FtpError). Safe from any thread; each call has its own text.
  virtual std::unique_ptr<FtpConnection> OpenWithError(const FtpConnectParameters& server,
                                                       std::string* errorOut) {
    auto connection = Open(server);
    if (!connection && errorOut) *errorOut = "Unknown error.";
    return connection;
  }

  // OpenWithError that also says when the server was not trusted (ConnectFailure::untrusted).
  virtual std::unique_ptr<FtpConnection> OpenExplained(const FtpConnectParameters& server,
                                                       ConnectFailure* failure) {
    std::string error;
    auto connection = OpenWithError(server, &error);
    if (!connection && failure) *failure = ConnectFailure{error, std::nullopt};
    return connection;
  }
};

}  // namespace quillon
