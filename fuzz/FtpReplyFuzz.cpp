// What an FTP server says on the control connection: the input's lines as libcurl hands them
// over, put together into replies, and every reply through the readers of PWD and FEAT replies
// and the text of a refused command.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "ftp/FtpReplies.h"
#include "remote/RemoteListing.h"

using namespace quillon;

namespace {

void CheckReply(const FtpReply& reply) {
  FUZZ_CHECK(reply.code >= 0 && reply.code <= 999);
  FUZZ_CHECK(reply.text.size() >= 3);
  FUZZ_CHECK(std::to_string(1000 + reply.code).substr(1) == reply.text.substr(0, 3));
  FUZZ_CHECK(reply.FirstLine().find('\n') == std::string::npos);

  if (const auto folder = ParsePwdReply(reply)) {
    FUZZ_CHECK(reply.code == 257);
    FUZZ_CHECK(IsSafeRemotePath(*folder));
  }
  const std::string text = CommandRefusalText("PASS hunter2", reply, "hunter2");
  FUZZ_CHECK(text.find('\n') == std::string::npos);
  // The password of the command is masked; in the reply only where it stands as a word.
  FUZZ_CHECK(text.starts_with("PASS ****: "));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view rest = input;
  ReplyReader reader(kMaxReplyBytes);
  size_t bytes = 0;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end == std::string_view::npos ? end : end + 1);
    rest.remove_prefix(line.size());
    bytes += line.size();
    FUZZ_CHECK(reader.AddLine(line) == (bytes <= kMaxReplyBytes));
  }
  for (const auto& reply : reader.Replies()) CheckReply(reply);
  (void)ParseFeatReply(reader.Replies());

  // The whole input as the text of one reply, whatever its framing.
  const std::string whole(input);
  (void)ParsePwdReply(FtpReply{257, whole});
  (void)ParseFeatReply({FtpReply{211, whole}});
  return 0;
}
