#include "wave/wave_header.hpp"

#include <gtest/gtest.h>

#include <string>

#include "wave/wave_file.hpp"

namespace {

TEST(WaveHeader, SizesAndFieldsInFileOrder) {
  struct Case {
    int32_t file_size_bytes, channels, bytes_per_sample, sample_rate;
    int32_t block_align, frames, data_size, byte_rate;
  };
  const Case cases[] = {
      {5120000, 2, 2, 48000, 4, 1280000, 5120000, 192000},
      {1024, 3, 3, 44100, 9, 114, 1026, 396900},
      {1024, 6, 3, 96000, 18, 57, 1026, 1728000},
      {1024, 1, 1, 1000, 1, 1024, 1024, 1000},
      {1024000000, 6, 4, 96000, 24, 42666667, 1024000008, 2304000},
      {1024000000, 1, 1, 8000, 1, 1024000000, 1024000000, 8000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file_size_bytes << " bytes, " << c.channels << " ch, "
                                    << c.bytes_per_sample << " bytes");
    GeneratorSettings s;
    set_defaults(s);
    s.file_size_bytes = c.file_size_bytes;
    s.channels = c.channels;
    s.bytes_per_sample = c.bytes_per_sample;
    s.sample_rate = c.sample_rate;

    std::string path = temp_path("header.wav");
    ByteStream stream;
    ASSERT_TRUE(open_stream(stream, path.c_str()));
    EXPECT_EQ(write_wave_header(stream, s), c.frames);
    ASSERT_EQ(close_stream(stream), 0);

    std::vector<unsigned char> b = read_file(path);
    ASSERT_EQ(b.size(), 44u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 4), static_cast<uint32_t>(c.data_size) + 36);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), 16u);
    EXPECT_EQ(le16(b, 20), 1u);
    EXPECT_EQ(le16(b, 22), static_cast<uint32_t>(c.channels));
    EXPECT_EQ(le32(b, 24), static_cast<uint32_t>(c.sample_rate));
    EXPECT_EQ(le32(b, 28), static_cast<uint32_t>(c.byte_rate));
    EXPECT_EQ(le16(b, 32), static_cast<uint32_t>(c.block_align));
    EXPECT_EQ(le16(b, 34), static_cast<uint32_t>(c.bytes_per_sample * 8));
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(le32(b, 40), static_cast<uint32_t>(c.data_size));
  }
}

TEST(ByteEmitter, LittleEndianLowBytesOnly) {
  std::string path = temp_path("le.bin");
  ByteStream stream;
  ASSERT_TRUE(open_stream(stream, path.c_str()));
  write_le(stream, 0x11223344, 4);
  write_le(stream, 0xAABBCCDD, 3);
  write_le(stream, 0xFFFFFF80, 1);
  write_le(stream, 0x12345678, 0);  // nothing for widths outside 1..4
  write_le(stream, 0x12345678, 5);
  write_tag(stream, "ab");
  ASSERT_EQ(close_stream(stream), 0);
  std::vector<unsigned char> expected = {0x44, 0x33, 0x22, 0x11, 0xDD, 0xCC, 0xBB, 0x80, 'a', 'b'};
  EXPECT_EQ(read_file(path), expected);
}

}  // namespace
