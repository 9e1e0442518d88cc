#include "crypto/CipherBlob.h"

#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

// Runs work(from, to) over the blocks [0, count): a long run half here and half on `helper`,
// when there is one (every block is encrypted or decrypted on its own).
template <typename Work>
void SplitBlocks(HelperThread* helper, uint64_t count, const Work& work) {
  constexpr uint64_t kSharedFrom = 1024;  // below this, handing over costs more than it saves
  if (helper == nullptr || count < kSharedFrom) {
    work(0, count);
    return;
  }
  const uint64_t half = count / 2;
  helper->Start([&work, half, count] { work(half, count); });
  work(0, half);
  helper->Wait();
}

}  // namespace

uint64_t BlobSize(int blockWords, uint64_t length) {
  const uint64_t block = 4 * static_cast<uint64_t>(blockWords);
  return kBlobHeaderSize + (length + 3 + block - 1) / block * block;
}

std::optional<std::vector<uint8_t>> EncryptBuffer(const RijndaelKey& key, const uint8_t* data,
                                                  size_t length) {
  if (data == nullptr && length > 0) return std::nullopt;
  BlobEncryptor encryptor;
  std::vector<uint8_t> blob;
  if (!encryptor.Begin(key, length, blob)) return std::nullopt;
  blob.reserve(BlobSize(key.BlockWords(), length));
  if (!encryptor.Update(data, length, blob) || !encryptor.Finish(blob)) return std::nullopt;
  return blob;
}

std::optional<std::vector<uint8_t>> DecryptBuffer(RijndaelKey& key, const uint8_t* blob,
                                                  size_t length) {
  if (blob == nullptr || length < kBlobHeaderSize + 1) return std::nullopt;
  BlobDecryptor decryptor(key);
  std::vector<uint8_t> plain;
  plain.reserve(length);
  if (!decryptor.Update(blob, length, plain) || !decryptor.Finish()) return std::nullopt;
  return plain;
}

// ---- BlobEncryptor ----

bool BlobEncryptor::Begin(const RijndaelKey& key, uint64_t length, std::vector<uint8_t>& out) {
  key_ = nullptr;
  if (!key.HasSchedule() || length > kMaxBlobPlaintext) return false;
  key_ = &key;
  length_ = length;
  fed_ = 0;
  pendingSize_ = 0;
  blockSize_ = 4 * static_cast<size_t>(key.BlockWords());
  const uint8_t header[kBlobHeaderSize] = {static_cast<uint8_t>(length >> 24),
                                           static_cast<uint8_t>(length >> 16),
                                           static_cast<uint8_t>(length >> 8),
                                           static_cast<uint8_t>(length),
                                           static_cast<uint8_t>(key.BlockWords()),
                                           static_cast<uint8_t>(key.KeyWords()),
                                           0,
                                           key.CheckByte()};
  out.insert(out.end(), header, header + kBlobHeaderSize);
  return true;
}

bool BlobEncryptor::Update(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  if (key_ == nullptr || size > length_ - fed_) return false;
  fed_ += size;
  if (pendingSize_ > 0) {
    const size_t take = std::min(size, blockSize_ - pendingSize_);
    std::memcpy(pending_ + pendingSize_, data, take);
    pendingSize_ += take;
    data += take;
    size -= take;
    if (pendingSize_ < blockSize_) return true;
    const size_t at = out.size();
    out.resize(at + blockSize_);
    key_->EncryptBlock(pending_, out.data() + at);
    pendingSize_ = 0;
  }
  const size_t whole = size / blockSize_ * blockSize_;
  if (whole > 0) {
    const size_t at = out.size();
    out.resize(at + whole);
    uint8_t* dst = out.data() + at;
    SplitBlocks(helper_, whole / blockSize_, [this, data, dst](uint64_t from, uint64_t to) {
      key_->EncryptBlocks(data + from * blockSize_, dst + from * blockSize_, to - from);
    });
  }
  if (size > whole) {
    std::memcpy(pending_, data + whole, size - whole);
    pendingSize_ = size - whole;
  }
  return true;
}

bool BlobEncryptor::Finish(std::vector<uint8_t>& out) {
  if (key_ == nullptr || fed_ != length_) return false;
  // The end mark and the zero fill make one block, or two when the mark crosses a block end.
  uint8_t tail[64] = {};
  std::memcpy(tail, pending_, pendingSize_);
  std::memcpy(tail + pendingSize_, kBlobEndMark, sizeof kBlobEndMark);
  const size_t tailSize = (pendingSize_ + 3 + blockSize_ - 1) / blockSize_ * blockSize_;
  const size_t at = out.size();
  out.resize(at + tailSize);
  key_->EncryptBlocks(tail, out.data() + at, tailSize / blockSize_);
  std::fill(std::begin(tail), std::end(tail), 0);
  std::fill(std::begin(pending_), std::end(pending_), 0);
  key_ = nullptr;
  return true;
}

// ---- BlobDecryptor ----

std::optional<uint64_t> BlobDecryptor::PlaintextLength() const {
  if (stage_ == Stage::Header || stage_ == Stage::Failed) return std::nullopt;
  return length_;
}

bool BlobDecryptor::ReadHeader() {
  if (!key_.HasKeyBytes()) return false;
  trailerExpected_ = header_[6] == kBlobTrailerFlag ? kBlobTrailerSize : 0;
  length_ = (uint64_t{header_[0]} << 24) | (uint64_t{header_[1]} << 16) |
            (uint64_t{header_[2]} << 8) | header_[3];
  const int blockWords = header_[4];
  if (key_.CheckByte() != header_[7]) return false;
  if (blockWords != 4 && blockWords != 6 && blockWords != 8) return false;
  if (!key_.HasSchedule() || key_.BlockWords() != blockWords) {
    if (key_.ExpandKey(blockWords) != kRijndaelOk) return false;
  }
  if (key_.KeyWords() != header_[5]) return false;
  blockSize_ = 4 * static_cast<size_t>(blockWords);
  blocksTotal_ = (length_ + 3 + blockSize_ - 1) / blockSize_;
  blocksDone_ = 0;
  return true;
}

void BlobDecryptor::DecryptBlocks(const uint8_t* blocks, uint64_t count,
                                  std::vector<uint8_t>& plain) {
  const uint64_t start = blocksDone_ * blockSize_;
  const uint64_t end = start + count * blockSize_;
  const uint64_t emitEnd = std::min(end, length_);
  const size_t at = plain.size();
  if (emitEnd > start) plain.resize(at + static_cast<size_t>(emitEnd - start));
  // Blocks that lie wholly inside the plaintext decrypt straight into place.
  const uint64_t whole =
      emitEnd > start ? std::min<uint64_t>(count, (emitEnd - start) / blockSize_) : 0;
  uint8_t* out = plain.data() + at;
  SplitBlocks(helper_, whole, [this, blocks, out](uint64_t from, uint64_t to) {
    key_.DecryptBlocks(blocks + from * blockSize_, out + from * blockSize_, to - from);
  });
  uint8_t scratch[32];
  for (uint64_t i = whole; i < count; ++i) {
    const uint64_t off = start + i * blockSize_;
    const uint8_t* in = blocks + i * blockSize_;
    // The block that holds the end of the plaintext and (part of) the end mark.
    key_.DecryptBlock(in, scratch);
    for (size_t j = 0; j < blockSize_; ++j) {
      const uint64_t pos = off + j;
      if (pos < length_) {
        plain[at + static_cast<size_t>(pos - start)] = scratch[j];
      } else if (pos < length_ + 3) {
        mark_[pos - length_] = scratch[j];
      }
    }
  }
  std::fill(std::begin(scratch), std::end(scratch), 0);
  blocksDone_ += count;
}

bool BlobDecryptor::Update(const uint8_t* data, size_t size, std::vector<uint8_t>& plain) {
  while (size > 0) {
    switch (stage_) {
      case Stage::Failed:
        return false;
      case Stage::Header: {
        const size_t take = std::min(size, kBlobHeaderSize - headerSize_);
        std::memcpy(header_ + headerSize_, data, take);
        headerSize_ += take;
        data += take;
        size -= take;
        if (headerSize_ == kBlobHeaderSize) {
          if (!ReadHeader()) {
            stage_ = Stage::Failed;
            return false;
          }
          stage_ = Stage::Blocks;
        }
        break;
      }
      case Stage::Blocks: {
        if (pendingSize_ > 0 || size < blockSize_) {
          const size_t take = std::min(size, blockSize_ - pendingSize_);
          std::memcpy(pending_ + pendingSize_, data, take);
          pendingSize_ += take;
          data += take;
          size -= take;
          if (pendingSize_ == blockSize_) {
            DecryptBlocks(pending_, 1, plain);
            pendingSize_ = 0;
          }
        } else {
          const uint64_t count = std::min<uint64_t>(size / blockSize_, blocksTotal_ - blocksDone_);
          DecryptBlocks(data, count, plain);
          data += count * blockSize_;
          size -= static_cast<size_t>(count * blockSize_);
        }
        if (blocksDone_ == blocksTotal_) stage_ = Stage::Trailer;
        break;
      }
      case Stage::Trailer:
        if (size > trailerExpected_ - trailerSeen_) {
          stage_ = Stage::Failed;
          return false;
        }
        trailerSeen_ += size;
        size = 0;
        break;
    }
  }
  return stage_ != Stage::Failed;
}

bool BlobDecryptor::Finish() {
  const bool good = stage_ == Stage::Trailer && trailerSeen_ == trailerExpected_ &&
                    std::equal(std::begin(mark_), std::end(mark_), std::begin(kBlobEndMark));
  stage_ = Stage::Failed;  // a decryptor is used once
  return good;
}

}  // namespace quillon
