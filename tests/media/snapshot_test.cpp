// Snapshots: JPEG files read back with libjpeg, folders and names, the
// 8-bit counter, unopenable folders.
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <dirent.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/ac_snapshot_filter.h"

using namespace media;

namespace {

std::string tempFolder() {
  const char* build = std::getenv("CORVANE_BUILD_DIR");
  std::string base = std::string(build != nullptr ? build : "/tmp") + "/snapXXXXXX";
  std::vector<char> text(base.begin(), base.end());
  text.push_back('\0');
  EXPECT_NE(mkdtemp(text.data()), nullptr);
  return std::string(text.data()) + "/";
}

std::vector<std::string> listFolder(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

// A YUY2 picture: a horizontal luma ramp, neutral chroma.
std::vector<unsigned char> ramp(int width, int height) {
  std::vector<unsigned char> p(static_cast<size_t>(width) * height * 2);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      p[(static_cast<size_t>(y) * width + x) * 2] = static_cast<unsigned char>(16 + x * 200 / width);
      p[(static_cast<size_t>(y) * width + x) * 2 + 1] = 128;
    }
  return p;
}

struct JpegInfo {
  bool ok = false;
  int width = 0, height = 0, components = 0;
  int h[3] = {}, v[3] = {};
  std::vector<unsigned char> luma;  // decoded as greyscale
};

JpegInfo readJpeg(const std::string& path) {
  JpegInfo info;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return info;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
    info.width = static_cast<int>(cinfo.image_width);
    info.height = static_cast<int>(cinfo.image_height);
    info.components = cinfo.num_components;
    for (int i = 0; i < 3 && i < cinfo.num_components; ++i) {
      info.h[i] = cinfo.comp_info[i].h_samp_factor;
      info.v[i] = cinfo.comp_info[i].v_samp_factor;
    }
    cinfo.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&cinfo);
    info.luma.resize(static_cast<size_t>(info.width) * info.height);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = info.luma.data() + static_cast<size_t>(cinfo.output_scanline) * info.width;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    info.ok = true;
  }
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return info;
}

struct Written {
  std::mutex mutex;
  std::vector<std::pair<std::string, bool>> files;
  void Attach(ACSnapshotFilter& f) {
    f.SetWrittenObserver([this](const std::string& path, bool ok) {
      std::lock_guard<std::mutex> lock(mutex);
      files.emplace_back(path, ok);
    });
  }
  std::vector<std::pair<std::string, bool>> Get() {
    std::lock_guard<std::mutex> lock(mutex);
    return files;
  }
};

// Requests and takes one snapshot the way the window and a display thread
// do; retries while all ten buffers are busy.
int snapshot(ACSnapshotFilter& f, int channel, std::vector<unsigned char>& picture, int width, int height) {
  for (int tries = 0; tries < 500; ++tries) {
    f.RequestSnapshot(channel);
    f.Lock(-1);
    const int started = f.TakeSnapshot(channel, picture.data(), width, height);
    f.Unlock();
    if (started) return 1;
    f.WaitIdle(1000);
  }
  return 0;
}

}  // namespace

TEST(Snapshot, A704x576PictureBecomesA420JpegInFolder1) {
  const std::string folder = tempFolder();
  ACSnapshotFilter f;
  f.SetFolderProvider([folder] { return folder + "KRSnap/"; });
  Written w;
  w.Attach(f);
  auto picture = ramp(704, 576);
  f.RequestSnapshot(0);
  f.Lock(-1);
  EXPECT_EQ(f.TakeSnapshot(0, picture.data(), 704, 576), 1);
  // The request was consumed: the next picture writes nothing.
  EXPECT_EQ(f.TakeSnapshot(0, picture.data(), 704, 576), 0);
  f.Unlock();
  ASSERT_TRUE(f.WaitIdle(5000));
  const auto files = w.Get();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(files[0].second);
  const auto names = listFolder(folder + "KRSnap/1/");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(folder + "KRSnap/1/" + names[0], files[0].first);
  // YYYYMMDDhhmmss + three-digit counter + ".jpg"
  ASSERT_EQ(names[0].size(), 14u + 3u + 4u);
  EXPECT_EQ(names[0].substr(17), ".jpg");
  const JpegInfo j = readJpeg(files[0].first);
  ASSERT_TRUE(j.ok);
  EXPECT_EQ(j.width, 704);
  EXPECT_EQ(j.height, 576);
  EXPECT_EQ(j.components, 3);
  EXPECT_EQ(j.h[0], 2);
  EXPECT_EQ(j.v[0], 2);
  EXPECT_EQ(j.h[1], 1);
  EXPECT_EQ(j.v[1], 1);
  EXPECT_EQ(j.h[2], 1);
  EXPECT_EQ(j.v[2], 1);
  // The ramp survives quality 50.
  for (int x : {0, 100, 350, 700}) EXPECT_NEAR(j.luma[300 * 704 + x], 16 + x * 200 / 704, 8) << x;
}

TEST(Snapshot, SizesThatAreNotWholeBlocksAreWritten) {
  const std::string folder = tempFolder();
  ACSnapshotFilter f;
  f.SetFolderProvider([folder] { return folder; });
  Written w;
  w.Attach(f);
  auto picture = ramp(100, 58);
  ASSERT_EQ(snapshot(f, 5, picture, 100, 58), 1);
  ASSERT_TRUE(f.WaitIdle(5000));
  ASSERT_EQ(w.Get().size(), 1u);
  EXPECT_NE(w.Get()[0].first.find("/6/"), std::string::npos);
  const JpegInfo j = readJpeg(w.Get()[0].first);
  ASSERT_TRUE(j.ok);
  EXPECT_EQ(j.width, 100);
  EXPECT_EQ(j.height, 58);
}

TEST(Snapshot, NothingWithoutARequestOrWithABadPictureOrSize) {
  const std::string folder = tempFolder();
  ACSnapshotFilter f;
  f.SetFolderProvider([folder] { return folder; });
  EXPECT_EQ(f.getFilterType(), 113);
  EXPECT_EQ(f.InitFilter(nullptr), 1);
  EXPECT_EQ(f.FinalFilter(), 1);
  auto picture = ramp(64, 64);
  EXPECT_EQ(f.TakeSnapshot(0, picture.data(), 64, 64), 0);
  f.RequestSnapshot(1);
  EXPECT_EQ(f.TakeSnapshot(1, nullptr, 64, 64), 0);
  // A null picture leaves the request for the next picture.
  EXPECT_EQ(f.TakeSnapshot(1, picture.data(), 64, 64), 1);
  EXPECT_TRUE(f.WaitIdle(5000));
  EXPECT_EQ(listFolder(folder + "2/").size(), 1u);
  // A request is consumed even when the size is bad.
  f.RequestSnapshot(2);
  EXPECT_EQ(f.TakeSnapshot(2, picture.data(), 63, 64), 0);
  EXPECT_EQ(f.TakeSnapshot(2, picture.data(), 64, 64), 0);
  f.RequestSnapshot(40);  // no such channel: ignored
  EXPECT_EQ(f.TakeSnapshot(40, picture.data(), 64, 64), 0);
  EXPECT_EQ(f.TakeSnapshot(-1, picture.data(), 64, 64), 0);
  EXPECT_TRUE(f.WaitIdle(5000));
  EXPECT_EQ(listFolder(folder).size(), 1u) << "folder 2 only";
  EXPECT_EQ(listFolder(folder + "2/").size(), 1u);
}

TEST(Snapshot, TheCounterWrapsAfter256) {
  const std::string folder = tempFolder();
  ACSnapshotFilter f;
  f.SetFolderProvider([folder] { return folder; });
  Written w;
  w.Attach(f);
  auto picture = ramp(16, 16);
  for (int i = 0; i < 257; ++i) ASSERT_EQ(snapshot(f, 0, picture, 16, 16), 1) << i;
  ASSERT_TRUE(f.WaitIdle(5000));
  const auto files = w.Get();
  ASSERT_EQ(files.size(), 257u);
  std::map<int, int> counters;
  for (const auto& file : files) {
    EXPECT_TRUE(file.second);
    const std::string name = file.first.substr(file.first.rfind('/') + 1);
    counters[std::stoi(name.substr(14, 3))]++;
  }
  // 257 names in a row: every value 000-255 once, and the first one again
  // (000 when this is the process's first snapshot).
  ASSERT_EQ(counters.size(), 256u);
  EXPECT_EQ(counters.begin()->first, 0);
  EXPECT_EQ(counters.rbegin()->first, 255);
  int twice = 0;
  for (const auto& [value, count] : counters) {
    EXPECT_GE(count, 1) << value;
    EXPECT_LE(count, 2) << value;
    twice += count == 2 ? 1 : 0;
  }
  EXPECT_EQ(twice, 1);
}

TEST(Snapshot, AnUnopenableFolderDropsTheSnapshotAndGoesOn) {
  const std::string folder = tempFolder();
  // A file where the folder should be: neither folder nor file can be made.
  const std::string blocked = folder + "blocked";
  std::FILE* block = std::fopen(blocked.c_str(), "w");
  ASSERT_NE(block, nullptr);
  std::fclose(block);
  ACSnapshotFilter f;
  std::string current = blocked + "/";
  std::mutex m;
  f.SetFolderProvider([&] {
    std::lock_guard<std::mutex> lock(m);
    return current;
  });
  Written w;
  w.Attach(f);
  auto picture = ramp(32, 32);
  testing::internal::CaptureStderr();
  // More failures than there are buffers: each failure gives its buffer back.
  for (int i = 0; i < 12; ++i) {
    ASSERT_EQ(snapshot(f, 0, picture, 32, 32), 1) << i;
    ASSERT_TRUE(f.WaitIdle(5000));
  }
  const std::string err = testing::internal::GetCapturedStderr();
  // The folder that cannot be made is said once, not once per picture.
  const std::string line = "snapshot: cannot make the folder " + blocked + "/1/: Not a directory\n";
  EXPECT_EQ(err, line);
  {
    std::lock_guard<std::mutex> lock(m);
    current = folder + "ok/";
  }
  ASSERT_EQ(snapshot(f, 0, picture, 32, 32), 1);
  ASSERT_TRUE(f.WaitIdle(5000));
  const auto files = w.Get();
  ASSERT_EQ(files.size(), 13u);
  for (int i = 0; i < 12; ++i) EXPECT_FALSE(files[i].second);
  EXPECT_TRUE(files[12].second);
  EXPECT_EQ(listFolder(folder + "ok/1/").size(), 1u);
}

TEST(Snapshot, DestructionWaitsForTheWorkers) {
  const std::string folder = tempFolder();
  auto written = std::make_shared<std::atomic<int>>(0);
  {
    ACSnapshotFilter f;
    f.SetFolderProvider([folder] { return folder; });
    f.SetWrittenObserver([written](const std::string&, bool) { written->fetch_add(1); });
    auto picture = ramp(704, 576);
    for (int c = 0; c < 10; ++c) {
      f.RequestSnapshot(c);
      f.Lock(-1);
      EXPECT_EQ(f.TakeSnapshot(c, picture.data(), 704, 576), 1);
      f.Unlock();
    }
    // All ten buffers busy now or soon: an eleventh may be lost.
  }
  EXPECT_EQ(written->load(), 10);
}
