#include "table/properties.h"

#include <algorithm>
#include <iterator>

#include "util/write_bytes.h"

namespace jet {
namespace {

constexpr uint8_t kMagic[4] = {'M', 'R', '2', 0};
constexpr uint8_t kJet3Magic[4] = {'K', 'K', 'D', 0};
constexpr uint16_t kNamesChunk = 0x80;
constexpr uint16_t kColumnChunk = 0x01;
constexpr uint8_t kBooleanType = 0x01;
constexpr std::u16string_view kRequired = u"Required";

std::u16string Ucs2(std::span<const uint8_t> b) {
  std::u16string s(b.size() / 2, u'\0');
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char16_t>(b[2 * i] | (b[2 * i + 1] << 8));
  return s;
}

// How the names of one block are stored: UCS-2 (Jet4) or code-page bytes (Jet3).
struct NameReader {
  const TextCodec* codec;  // null: Jet4, or Jet3 without a codec (Latin-1)
  bool jet3;
  std::u16string operator()(std::span<const uint8_t> b) const {
    if (!jet3) return Ucs2(b);
    if (codec) return codec->Decode(b);
    return std::u16string(b.begin(), b.end());
  }
};

// The names of a kind-0x80 chunk body; stops at the first name that runs past it.
std::vector<std::u16string> Names(std::span<const uint8_t> body, const NameReader& read) {
  std::vector<std::u16string> names;
  size_t pos = 0;
  while (pos + 2 <= body.size()) {
    const size_t len = wr::LoadU16(body, pos);
    if (pos + 2 + len > body.size()) break;
    names.push_back(read(body.subspan(pos + 2, len)));
    pos += 2 + len;
  }
  return names;
}

// Whether a kind-0x01 chunk body sets Required to Yes; `column` gets the column's name.
bool ColumnRequired(std::span<const uint8_t> body, const std::vector<std::u16string>& names,
                    const NameReader& read, std::u16string* column) {
  if (body.size() < 6) return false;
  const size_t header = wr::LoadU32(body, 0);
  const size_t name_len = wr::LoadU16(body, 4);
  if (6 + name_len > body.size() || header < 6 + name_len || header > body.size()) return false;
  *column = read(body.subspan(6, name_len));
  size_t pos = header;
  while (pos + 8 <= body.size()) {
    const size_t len = wr::LoadU16(body, pos);
    if (len < 8 || pos + len > body.size()) return false;
    const uint8_t type = body[pos + 3];
    const size_t name = wr::LoadU16(body, pos + 4);
    const size_t value_len = wr::LoadU16(body, pos + 6);
    if (type == kBooleanType && name < names.size() && names[name] == kRequired && value_len >= 1 &&
        8 + value_len <= len) {
      return body[pos + 8] != 0;
    }
    pos += len;
  }
  return false;
}

void AppendName(std::vector<uint8_t>& out, std::u16string_view name, const TextCodec* jet3) {
  if (jet3) {
    std::vector<uint8_t> bytes;
    jet3->EncodeCodePage(name, bytes);
    wr::AppendU16(out, static_cast<uint16_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
    return;
  }
  wr::AppendU16(out, static_cast<uint16_t>(name.size() * 2));
  for (char16_t c : name) wr::AppendU16(out, c);
}

}  // namespace

std::vector<std::u16string> RequiredColumns(std::span<const uint8_t> block,
                                            const TextCodec* codec) {
  std::vector<std::u16string> out;
  if (block.size() < 4) return out;
  const bool jet3 = std::equal(block.begin(), block.begin() + 4, kJet3Magic);
  if (!jet3 && !std::equal(block.begin(), block.begin() + 4, kMagic)) return out;
  const NameReader read{codec, jet3};
  std::vector<std::u16string> names;
  size_t pos = 4;
  while (pos + 6 <= block.size()) {
    const size_t len = wr::LoadU32(block, pos);
    if (len < 6 || len > block.size() - pos) break;
    const uint16_t kind = wr::LoadU16(block, pos + 4);
    const std::span<const uint8_t> body = block.subspan(pos + 6, len - 6);
    std::u16string column;
    if (kind == kNamesChunk) {
      names = Names(body, read);
    } else if (kind == kColumnChunk && ColumnRequired(body, names, read, &column)) {
      out.push_back(std::move(column));
    }
    pos += len;
  }
  return out;
}

std::vector<uint8_t> RequiredPropertiesBlock(const std::vector<std::u16string>& columns,
                                             const TextCodec* jet3_codec) {
  std::vector<uint8_t> out(jet3_codec ? kJet3Magic : kMagic,
                           (jet3_codec ? kJet3Magic : kMagic) + 4);
  std::vector<uint8_t> names;
  AppendName(names, kRequired, jet3_codec);
  wr::AppendU32(out, static_cast<uint32_t>(6 + names.size()));
  wr::AppendU16(out, kNamesChunk);
  out.insert(out.end(), names.begin(), names.end());
  for (const std::u16string& column : columns) {
    std::vector<uint8_t> body;
    std::vector<uint8_t> name;
    AppendName(name, column, jet3_codec);
    wr::AppendU32(body, static_cast<uint32_t>(4 + name.size()));
    body.insert(body.end(), name.begin(), name.end());
    // Required = Yes: entry length 9, DDL flag, Yes/No type, name 0, one byte of value.
    const uint8_t entry[] = {9, 0, 1, kBooleanType, 0, 0, 1, 0, 1};
    body.insert(body.end(), std::begin(entry), std::end(entry));
    wr::AppendU32(out, static_cast<uint32_t>(6 + body.size()));
    wr::AppendU16(out, kColumnChunk);
    out.insert(out.end(), body.begin(), body.end());
  }
  return out;
}

namespace {

struct Chunk {
  size_t at = 0;  // offset of its length field in the block
  size_t length = 0;
  uint16_t kind = 0;
};

// The chunks of `block` after the magic; false when the magic is not one of the two.
bool SplitChunks(std::span<const uint8_t> block, bool* jet3, std::vector<Chunk>& chunks) {
  if (block.size() < 4) return false;
  *jet3 = std::equal(block.begin(), block.begin() + 4, kJet3Magic);
  if (!*jet3 && !std::equal(block.begin(), block.begin() + 4, kMagic)) return false;
  size_t pos = 4;
  while (pos + 6 <= block.size()) {
    const size_t len = wr::LoadU32(block, pos);
    if (len < 6 || len > block.size() - pos) return false;
    chunks.push_back({pos, len, wr::LoadU16(block, pos + 4)});
    pos += len;
  }
  return pos == block.size();
}

// The column a kind-0x01 chunk body describes.
std::u16string ChunkColumn(std::span<const uint8_t> body, const NameReader& read) {
  if (body.size() < 6) return {};
  const size_t name_len = wr::LoadU16(body, 4);
  if (6 + name_len > body.size()) return {};
  return read(body.subspan(6, name_len));
}

}  // namespace

std::vector<uint8_t> WithoutColumnProperties(std::span<const uint8_t> block,
                                             std::u16string_view column, const TextCodec* codec) {
  bool jet3 = false;
  std::vector<Chunk> chunks;
  if (!SplitChunks(block, &jet3, chunks)) return {block.begin(), block.end()};
  const NameReader read{codec, jet3};
  std::vector<uint8_t> out(block.begin(), block.begin() + 4);
  for (const Chunk& c : chunks) {
    const std::span<const uint8_t> whole = block.subspan(c.at, c.length);
    if (c.kind == kColumnChunk && EqualsIgnoreCase(ChunkColumn(whole.subspan(6), read), column)) {
      continue;
    }
    out.insert(out.end(), whole.begin(), whole.end());
  }
  return out;
}

std::vector<uint8_t> WithRequiredColumn(std::span<const uint8_t> block, std::u16string_view column,
                                        const TextCodec* jet3_codec) {
  bool jet3 = false;
  std::vector<Chunk> chunks;
  const std::vector<uint8_t> rest = WithoutColumnProperties(block, column, jet3_codec);
  if (!SplitChunks(rest, &jet3, chunks)) {
    return RequiredPropertiesBlock({std::u16string(column)}, jet3_codec);
  }
  const NameReader read{jet3_codec, jet3};
  const TextCodec* names_codec = jet3 ? jet3_codec : nullptr;
  std::vector<uint8_t> out(rest.begin(), rest.begin() + 4);
  size_t required = 0;  // index of "Required" in the name list
  bool named = false;
  for (const Chunk& c : chunks) {
    std::vector<uint8_t> whole(rest.begin() + static_cast<std::ptrdiff_t>(c.at),
                               rest.begin() + static_cast<std::ptrdiff_t>(c.at + c.length));
    if (c.kind == kNamesChunk && !named) {
      const std::vector<std::u16string> names =
          Names(std::span<const uint8_t>(whole).subspan(6), read);
      const auto it = std::find(names.begin(), names.end(), kRequired);
      required = static_cast<size_t>(std::distance(names.begin(), it));
      if (it == names.end()) {
        AppendName(whole, kRequired, names_codec);
        wr::StoreU32(whole, 0, static_cast<uint32_t>(whole.size()));
      }
      named = true;
    }
    out.insert(out.end(), whole.begin(), whole.end());
  }
  if (!named) return RequiredPropertiesBlock({std::u16string(column)}, jet3_codec);
  std::vector<uint8_t> body;
  std::vector<uint8_t> name;
  AppendName(name, column, names_codec);
  wr::AppendU32(body, static_cast<uint32_t>(4 + name.size()));
  body.insert(body.end(), name.begin(), name.end());
  // Required = Yes: entry length 9, DDL flag, Yes/No type, name index, one byte of value.
  const uint8_t entry[] = {9, 0, 1, kBooleanType};
  body.insert(body.end(), std::begin(entry), std::end(entry));
  wr::AppendU16(body, static_cast<uint16_t>(required));
  const uint8_t value[] = {1, 0, 1};
  body.insert(body.end(), std::begin(value), std::end(value));
  wr::AppendU32(out, static_cast<uint32_t>(6 + body.size()));
  wr::AppendU16(out, kColumnChunk);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace jet
