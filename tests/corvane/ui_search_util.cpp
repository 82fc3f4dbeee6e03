#include "ui_search_util.h"

#include <QPointer>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "controls/color_list_ctrl.h"
#include "core/catalogue.h"
#include "synth/synth.h"

namespace corvane::uitest {

namespace fs = std::filesystem;
using krvtest::Quote;
using krvtest::RunShell;

namespace {

bool Run(const std::string& cmd) {
  const krvtest::RunResult r = RunShell(cmd);
  if (r.code != 0) ADD_FAILURE() << cmd << ": " << r.err;
  return r.code == 0;
}

bool WriteTree(const std::string& dir) {
  const std::string tool = krvtest::KrvtoolPath();
  if (!Run(tool + " synth-folder " + Quote(dir + "/synth") + " --size 176x144")) return false;
  fs::create_directories(dir + "/extra");
  if (!Run(tool + " synth " + Quote(dir + "/extra/20131230235900_0100.krv") +
           " --start 20131230235900 --seconds 4 --size 176x144 --bus B.777 --seed 3"))
    return false;
  if (!Run(tool + " synth " + Quote(dir + "/extra/20140102000010_0001.krv") +
           " --start 20140102000010 --seconds 3 --size 176x144 --seed 4"))
    return false;
  // An AVI period of channels 2 and 3 with a key frame every 3 s.
  for (int channel : {1, 2}) {
    krvsynth::SynthOptions o;
    o.seconds = 10;
    o.startTime = krvsynth::ParseStartTime("20240316200000");
    o.width = 176;
    o.height = 144;
    o.fps = 25;
    o.gop = 75;
    o.seed = 11 + static_cast<uint32_t>(channel);
    std::string error;
    const std::string path = dir + "/extra/20240316200000_0010_0" + std::to_string(channel + 1) + ".avi";
    if (!krvsynth::WriteAviChannel(o, channel, path, &error)) {
      ADD_FAILURE() << path << ": " << error;
      return false;
    }
  }
  fs::create_directories(dir + "/junk");
  std::string noise(3000, '\0');
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919u) >> 3);
  std::ofstream(dir + "/junk/20240320120000_1000.krv", std::ios::binary) << noise;
  std::ofstream(dir + "/junk/20240320120000_1000_02.avi", std::ios::binary) << noise.substr(0, 1500);
  return true;
}

}  // namespace

const std::string& SearchTree() {
  static const std::string folder = TestTreeOnce("ui-search-v2", WriteTree);
  return folder;
}

std::vector<std::string> KrvtoolListPaths(const std::string& dir, uint32_t types, int64_t from, int64_t to,
                                          const std::string& car) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", types);
  std::string cmd = krvtest::KrvtoolPath() + " list " + Quote(dir) + " --types " + hex + " --from " +
                    std::to_string(from) + " --to " + std::to_string(to);
  if (!car.empty()) cmd += " --car " + Quote(car);
  const krvtest::RunResult r = RunShell(cmd);
  EXPECT_EQ(r.code, 0) << cmd << ": " << r.err;
  std::vector<std::string> paths;
  for (const std::string& line : r.Lines()) paths.push_back(line.substr(line.rfind('\t') + 1));
  return paths;
}

std::vector<std::string> ListedPaths(CCorvaneDlg* dlg) {
  std::vector<std::string> out;
  controls::CColorListCtrl* list = dlg->list();
  for (int r = 0; r < list->RowCount(); ++r) out.push_back(list->Row(r)->text(kColumnPath).toStdString());
  return out;
}

int64_t UtcDay(int year, int month, int day) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  return static_cast<int64_t>(::timegm(&tm));
}

ModalDriver::ModalDriver() {
  QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
  timer_.start(10);
}

ModalDriver::~ModalDriver() { timer_.stop(); }

void ModalDriver::Tick() {
  // The platform's notion of the active modal window needs a window manager;
  // the shown top-level widgets are enough.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box || !box->isVisible()) continue;
    messages_.push_back(box->text());
    box->done(QMessageBox::Ok);
    return;
  }
  if (inStep_ || steps_.empty()) return;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || !w->isModal()) continue;
    // The step runs from a timer of its own: a message box it opens needs
    // this one (a timer is not fired again while its own handler runs).
    inStep_ = true;
    QPointer<QWidget> target(w);
    QTimer::singleShot(0, [this, target] {
      bool done = false;
      if (target && !steps_.empty()) {
        auto step = steps_.front();
        done = step(target);
        if (done) steps_.pop_front();
      }
      inStep_ = false;
    });
    return;
  }
}

}  // namespace corvane::uitest
