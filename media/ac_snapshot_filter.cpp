// Snapshots: the display thread converts the requested picture to planar
// YUV 4:2:0; a worker per snapshot writes it as a JPEG file with libjpeg.
#include "media/ac_snapshot_filter.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <jpeglib.h>

#include "media/yuv_convert.h"

namespace media {

namespace {

constexpr int kQuality = 50;
constexpr int kWorkerWaitMs = 2000;

// The process-wide 8-bit snapshot counter: 000 to 255, then 000 again.
// Taking a name and moving the counter on is one step under the mutex.
std::mutex g_counterMutex;
uint8_t g_counter = 0;

// Makes every folder of `path` that is missing (errors are not reported:
// the file open then fails and says so).
void makeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      const std::string part = path.substr(0, i);
      if (!part.empty() && part != "/") mkdir(part.c_str(), 0755);
    }
  }
}

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void onJpegError(j_common_ptr cinfo) {
  // libjpeg's own handler would end the process.
  std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

void quietJpegMessage(j_common_ptr) {}

// Copies `count` rows of `width` bytes from plane row `first` into a row
// block whose rows are `paddedWidth` wide, repeating the last column to the
// right and the last row below the plane.
void copyRows(JSAMPARRAY block, int count, const unsigned char* plane, int width, int height, int paddedWidth,
              int first) {
  for (int i = 0; i < count; ++i) {
    int row = first + i;
    if (row >= height) row = height - 1;
    const unsigned char* src = plane + static_cast<size_t>(row) * width;
    std::memcpy(block[i], src, static_cast<size_t>(width));
    for (int x = width; x < paddedWidth; ++x) block[i][x] = src[width - 1];
  }
}

}  // namespace

bool acWriteJpeg420(const std::string& path, const unsigned char* planar, int width, int height, int quality) {
  if (planar == nullptr || width < 2 || height < 2 || (width & 1) || (height & 1) || width > 65500 ||
      height > 65500)
    return false;
  jpeg_compress_struct cinfo;
  JpegError err;
  std::FILE* volatile file = nullptr;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = onJpegError;
  err.mgr.output_message = quietJpegMessage;
  if (setjmp(err.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    if (file != nullptr) std::fclose(file);
    return false;
  }
  jpeg_create_compress(&cinfo);
  file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "can't open %s\n", path.c_str());
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_YCbCr;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.raw_data_in = TRUE;
#if JPEG_LIB_VERSION >= 70
  cinfo.do_fancy_downsampling = FALSE;
#endif
  cinfo.comp_info[0].h_samp_factor = 2;
  cinfo.comp_info[0].v_samp_factor = 2;
  cinfo.comp_info[1].h_samp_factor = 1;
  cinfo.comp_info[1].v_samp_factor = 1;
  cinfo.comp_info[2].h_samp_factor = 1;
  cinfo.comp_info[2].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);

  const int chromaWidth = width / 2;
  const int chromaHeight = height / 2;
  // libjpeg reads whole blocks: rows padded to 16 (Y) and 8 (U, V) samples.
  const int paddedY = (width + 15) / 16 * 16;
  const int paddedC = paddedY / 2;
  JSAMPARRAY y = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                            static_cast<JDIMENSION>(paddedY), 16);
  JSAMPARRAY u = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                            static_cast<JDIMENSION>(paddedC), 8);
  JSAMPARRAY v = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                            static_cast<JDIMENSION>(paddedC), 8);
  const unsigned char* yPlane = planar;
  const unsigned char* uPlane = planar + static_cast<size_t>(width) * height;
  const unsigned char* vPlane = uPlane + static_cast<size_t>(chromaWidth) * chromaHeight;
  JSAMPARRAY planes[3] = {y, u, v};
  while (cinfo.next_scanline < cinfo.image_height) {
    const int line = static_cast<int>(cinfo.next_scanline);
    copyRows(y, 16, yPlane, width, height, paddedY, line);
    copyRows(u, 8, uPlane, chromaWidth, chromaHeight, paddedC, line / 2);
    copyRows(v, 8, vPlane, chromaWidth, chromaHeight, paddedC, line / 2);
    jpeg_write_raw_data(&cinfo, planes, 16);
  }
  jpeg_finish_compress(&cinfo);
  const bool ok = std::fclose(file) == 0;
  file = nullptr;
  jpeg_destroy_compress(&cinfo);
  return ok;
}

ACSnapshotFilter::ACSnapshotFilter() = default;

ACSnapshotFilter::~ACSnapshotFilter() {
  WaitIdle(kWorkerWaitMs);
  // A worker still writing is joined, never left running on freed memory.
  for (Buffer& b : buffers_) b.worker.Join();
}

int ACSnapshotFilter::InitFilter(ACParam* param) {
  if (param == nullptr) return 1;
  for (int i = 0; i < 4; ++i)
    if (param->positiveValues[i] > 0) positiveValues_[i] = param->positiveValues[i];
  for (int i = 0; i < 2; ++i)
    if (param->nonNegativeValues[i] >= 0) nonNegativeValues_[i] = param->nonNegativeValues[i];
  std::memcpy(byteValues_, param->byteValues, sizeof byteValues_);
  channelCount_ = param->channelCount;
  owner_ = param->owner;
  return 1;
}

int ACSnapshotFilter::FinalFilter() { return 1; }

void ACSnapshotFilter::RequestSnapshot(int channel) {
  if (channel >= 0 && channel < kRequestFlags) requests_[channel].store(1);
}

void ACSnapshotFilter::SetFolderProvider(std::function<std::string()> provider) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  folderProvider_ = std::move(provider);
}

void ACSnapshotFilter::SetWrittenObserver(std::function<void(const std::string&, bool)> observer) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  writtenObserver_ = std::move(observer);
}

std::string ACSnapshotFilter::DefaultFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return "KRSnap/";
  std::string folder = home;
  if (folder.back() != '/') folder += '/';
  return folder + "KRSnap/";
}

std::string ACSnapshotFilter::Folder() {
  std::function<std::string()> provider;
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    provider = folderProvider_;
  }
  return provider ? provider() : DefaultFolder();
}

int ACSnapshotFilter::TakeSnapshot(int channel, unsigned char* picture, int width, int height) {
  if (picture == nullptr) return 0;
  if (channel < 0 || channel >= kRequestFlags) return 0;
  const bool first = requests_[channel].load() != 0;
  const bool other = otherRequests_[channel].load() != 0;
  if (!first && !other) return 0;
  // The request is consumed even if the snapshot then fails.
  if (other) otherRequests_[channel].store(0);
  requests_[channel].store(0);
  // The picture is YUY2 of width x height; its chroma rows are taken in
  // pairs, so both must be even.
  if (!acPictureSizeFits(width, height)) return 0;

  const size_t needed = static_cast<size_t>(width) * height * 3 / 2;
  Buffer* chosen = nullptr;
  for (Buffer& b : buffers_) {
    if (b.busy.load() != 0) continue;
    if (b.size < needed) {
      b.data.reset(new (std::nothrow) unsigned char[needed]);
      b.size = b.data ? needed : 0;
      if (!b.data) continue;
    }
    chosen = &b;
    break;
  }
  if (chosen == nullptr) return 0;  // all ten busy: this snapshot is lost
  // Its last worker has finished (it cleared busy as its last step).
  chosen->worker.Join();
  chosen->busy.store(1);
  acYUY2ToPlanar(picture, chosen->data.get(), width, height);
  chosen->job = Job{channel + 1, width, height};
  if (!chosen->worker.Start([this, chosen] { Work(chosen); }, "cv-snapshot")) {
    chosen->busy.store(0);
    return 0;
  }
  return 1;
}

void ACSnapshotFilter::Work(Buffer* buffer) {
  const Job job = buffer->job;
  const std::string folder = Folder();
  makeFolders(folder);
  const std::string channelFolder = folder + std::to_string(job.channelNumber) + "/";
  mkdir(channelFolder.c_str(), 0755);
  struct stat st;
  const int statResult = ::stat(channelFolder.c_str(), &st);
  const int folderError = statResult == 0 ? 0 : errno;
  const bool folderMade = statResult == 0 && S_ISDIR(st.st_mode);
  char name[64];
  {
    std::lock_guard<std::mutex> lock(g_counterMutex);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d%03d.jpg", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(g_counter));
    ++g_counter;
  }
  const std::string path = channelFolder + name;
  // A file that cannot be opened drops this snapshot (and says so on
  // stderr); the program goes on. A folder that cannot be made is said
  // once, not once per picture.
  const bool ok = folderMade && acWriteJpeg420(path, buffer->data.get(), job.width, job.height, kQuality);
  std::function<void(const std::string&, bool)> observer;
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    observer = writtenObserver_;
    if (!folderMade && failedFolder_ != channelFolder) {
      failedFolder_ = channelFolder;
      std::fprintf(stderr, "snapshot: cannot make the folder %s: %s\n", channelFolder.c_str(),
                   folderError == 0 ? "not a folder" : std::strerror(folderError));
    }
  }
  if (observer) observer(path, ok);
  buffer->busy.store(0);
}

bool ACSnapshotFilter::WaitIdle(int timeoutMs) {
  const uint32_t start = acTickCount();
  for (;;) {
    bool idle = true;
    for (Buffer& b : buffers_) idle = idle && b.busy.load() == 0;
    if (idle) return true;
    if (acElapsedMs(start, acTickCount()) >= static_cast<uint32_t>(timeoutMs)) return false;
    acSleepMs(2);
  }
}

}  // namespace media
