// Page I/O and header decoding: versions, code pages, the RC4 mask and the files the engine must
// refuse with a clear error.

#include "page/file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/fixtures.h"

namespace jet {
namespace {

using fixtures::ScratchDir;

// Runs `fn` and returns the error it throws (fails the test when it throws nothing).
template <typename Fn>
Error Catch(Fn fn) {
  try {
    fn();
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no jet::Error thrown";
  return Error(Error::Kind::kIo, "");
}

// A copy of `fixture` whose unmasked page 0 was edited by `edit`.
std::string EditedHeader(const ScratchDir& dir, const std::string& fixture,
                         void (*edit)(std::vector<uint8_t>&, const FormatInfo&)) {
  std::vector<uint8_t> bytes = fixtures::ReadBytes(fixtures::Path(fixture));
  const FormatInfo& info = FormatFor(bytes[0x14] == 0 ? Format::kJet3 : Format::kJet4);
  std::span<uint8_t> page0(bytes.data(), info.page_size);
  File::ApplyHeaderMask(info, page0);
  edit(bytes, info);
  File::ApplyHeaderMask(info, page0);
  return dir.Write("edited.mdb", bytes);
}

TEST(HeaderMask, KeystreamStartsWithKnownBytes) {
  std::vector<uint8_t> page(4096, 0);
  File::ApplyHeaderMask(FormatFor(Format::kJet4), page);
  const uint8_t expected[] = {0xB5, 0x6F, 0x03, 0x62, 0x61, 0x08, 0xC2, 0x55};
  EXPECT_EQ(0, std::memcmp(&page[0x18], expected, sizeof expected));
  EXPECT_EQ(0, page[0x17]);
  EXPECT_EQ(0, page[0x18 + 128]);  // the mask covers exactly 128 bytes in Jet4
  File::ApplyHeaderMask(FormatFor(Format::kJet4), page);
  EXPECT_EQ(std::vector<uint8_t>(4096, 0), page);
}

TEST(FileHeader, DecodesBothVersions) {
  MDB_REQUIRE_FIXTURES();
  File j4(fixtures::Path("types.mdb"), false);
  EXPECT_EQ(Format::kJet4, j4.format());
  EXPECT_EQ(4096u, j4.page_size());
  EXPECT_EQ(1252, j4.header().code_page);
  EXPECT_EQ(0x0409, j4.header().sort_order);
  EXPECT_GT(j4.header().creation_date, 36000.0);
  File j3(fixtures::Path("access/jackcess-V1997-testV1997.mdb"), false);
  EXPECT_EQ(Format::kJet3, j3.format());
  EXPECT_EQ(2048u, j3.page_size());
  EXPECT_EQ(118784u / 2048u, j3.page_count());
  EXPECT_EQ(1252, j3.header().code_page);
  EXPECT_EQ(0x0409, j3.header().sort_order);
}

TEST(FileHeader, RefusesWhatItCannotRead) {
  MDB_REQUIRE_FIXTURES();
  ScratchDir dir;
  struct Case {
    const char* name;
    std::string path;
    Error::Kind kind;
    const char* words;
  };
  std::vector<uint8_t> ace = fixtures::ReadBytes(fixtures::Path("types.mdb"));
  std::memcpy(&ace[4], "Standard ACE DB", 16);
  std::vector<uint8_t> v2 = fixtures::ReadBytes(fixtures::Path("types.mdb"));
  v2[0x14] = 2;
  std::vector<uint8_t> text(8192, 'x');
  std::vector<uint8_t> odd = fixtures::ReadBytes(fixtures::Path("types.mdb"));
  odd.resize(odd.size() - 100);
  std::vector<uint8_t> one_page = fixtures::ReadBytes(fixtures::Path("types.mdb"));
  one_page.resize(4096);
  auto set_key = [](std::vector<uint8_t>& b, const FormatInfo& info) {
    b[info.header_db_key] = 0x17;
  };
  auto set_password = [](std::vector<uint8_t>& b, const FormatInfo& info) {
    // "pw" in UCS-2, masked with the whole days of the creation date like Access does.
    double date;
    std::memcpy(&date, &b[info.header_creation_date], 8);
    auto days = static_cast<uint32_t>(static_cast<int32_t>(date));
    const uint8_t pw[] = {'p', 0, 'w', 0};
    for (int i = 0; i < 4; ++i)
      b[info.header_password + i] = pw[i] ^ static_cast<uint8_t>(days >> (8 * i));
  };
  const Case cases[] = {
      {"ace", dir.Write("ace.mdb", ace), Error::Kind::kNotSupported, "ACE"},
      {"version", dir.Write("v2.mdb", v2), Error::Kind::kNotSupported, "version 2"},
      {"text", dir.Write("text.mdb", text), Error::Kind::kCorrupt, "not an Access database"},
      {"odd size", dir.Write("odd.mdb", odd), Error::Kind::kCorrupt, "truncated"},
      {"one page", dir.Write("one.mdb", one_page), Error::Kind::kCorrupt, "truncated"},
      {"encrypted", EditedHeader(dir, "types.mdb", set_key), Error::Kind::kNotSupported,
       "encrypted"},
  };
  for (const Case& c : cases) {
    Error e = Catch([&] { File f(c.path, false); });
    EXPECT_EQ(c.kind, e.kind()) << c.name;
    EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << c.name << ": " << e.what();
    EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << c.name;
  }
  std::string pw = EditedHeader(dir, "types.mdb", set_password);
  Error e = Catch([&] { File f(pw, false); });
  EXPECT_EQ(Error::Kind::kNotSupported, e.kind());
  EXPECT_NE(std::string(e.what()).find("password"), std::string::npos) << e.what();
  EXPECT_EQ(Error::Kind::kNotFound, Catch([&] { File f(dir.File("missing.mdb"), false); }).kind());
}

TEST(FilePages, ReadsAndWritesThrough) {
  MDB_REQUIRE_FIXTURES();
  ScratchDir dir;
  std::string path = dir.Copy("types.mdb");
  File writer(path, true);
  File reader(path, false);
  const uint32_t last = writer.page_count() - 1;
  Page before = reader.ReadPage(last);  // now cached in `reader`
  std::vector<uint8_t> page(writer.page_size(), 0xAB);
  writer.WritePage(last, page);
  EXPECT_EQ(0xAB, writer.ReadPage(last).bytes()[100]);
  EXPECT_NE(0xAB, before.bytes()[100]);  // an old snapshot stays as it was
  reader.Revalidate();
  EXPECT_EQ(0xAB, reader.ReadPage(last).bytes()[100]);
  writer.WritePage(writer.page_count(), page);  // append
  EXPECT_EQ(last + 2, writer.page_count());
  EXPECT_EQ(Error::Kind::kCorrupt, Catch([&] { writer.ReadPage(last + 2); }).kind());
  EXPECT_EQ(Error::Kind::kInvalidArgument, Catch([&] { reader.WritePage(1, page); }).kind());
  EXPECT_EQ(Error::Kind::kInvalidArgument,
            Catch([&] { writer.WritePage(1, std::span(page).first(10)); }).kind());
}

TEST(PageReader, ReadsLittleEndianAndRefusesOutOfBounds) {
  const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
  PageReader r(bytes, "f.mdb", 7);
  EXPECT_EQ(0x0201, r.U16(0));
  EXPECT_EQ(0x05040302u, r.U32(1));
  EXPECT_EQ(2u, r.Bytes(3, 2).size());
  Error e = Catch([&] { r.U32(2); });
  EXPECT_EQ(Error::Kind::kCorrupt, e.kind());
  EXPECT_NE(std::string(e.what()).find("f.mdb: page 7"), std::string::npos);
  EXPECT_EQ(Error::Kind::kCorrupt, Catch([&] { r.Bytes(6, 0); }).kind());
  EXPECT_EQ(Error::Kind::kCorrupt, Catch([&] { r.Bytes(1, SIZE_MAX); }).kind());
}

}  // namespace
}  // namespace jet
