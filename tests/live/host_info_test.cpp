// The host file of the live view: the table and list rules on hand-written
// files, broken XML and a missing file, and where the file is looked for.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <string>

#include "live/host_info.h"
#include "rtsp_peer.h"

using namespace live;

namespace {

HostInfo Parse(const std::string& xml) {
  HostInfo info;
  EXPECT_TRUE(ParseHostInfo(xml.data(), xml.size(), &info)) << xml;
  return info;
}

std::string Device(const std::string& values) { return "<hosts><group><device>" + values + "</device></group></hosts>"; }

}  // namespace

TEST(HostInfo, ChannelsGiveItemsSlotsAndAddresses) {
  HostInfo h = Parse(Device("<name>Bus 12</name><ip>10.0.0.7</ip><channelnum>0,1,2,3</channelnum>"));
  ASSERT_EQ(h.devices.size(), 1u);
  const DeviceRecord& d = h.devices[0];
  EXPECT_EQ(d.name, "Bus 12");
  EXPECT_EQ(d.channelCount, 4);
  ASSERT_EQ(d.channels, (std::vector<int>{0, 1, 2, 3}));
  for (int n = 0; n < 4; ++n) {
    EXPECT_EQ(d.channelSlots[n], kSlotListed);
    EXPECT_EQ(ChannelLabel(d.channels[n]), "Channel" + std::to_string(n + 1));
    EXPECT_EQ(StreamAddress(d, n), "rtsp://10.0.0.7/chn" + std::to_string(n));
  }
  EXPECT_EQ(d.channelSlots[4], kSlotNone);
}

TEST(HostInfo, TableOfDeviceValues) {
  struct Case {
    const char* values;
    std::vector<int> channels;
    std::vector<std::pair<int, int>> channelSlots;  // slot, value
    int count;
  };
  const std::string longList = "0," + std::string(96, ' ') + ",1,2";  // "2" lies past character 100
  const Case cases[] = {
      // deviceid fills the listed channelSlots in slot order
      {"<name>a</name><channelnum>2,5</channelnum><deviceid>7,9</deviceid>", {2, 5}, {{2, 7}, {5, 9}}, 2},
      // ids are taken into 0..255; an id without a listed slot is dropped
      {"<name>a</name><channelnum>1,3</channelnum><deviceid>-1,513,4</deviceid>", {1, 3}, {{1, 255}, {3, 1}}, 2},
      // a number without a comma is the whole text read like atoi
      {"<name>a</name><channelnum> 12abc</channelnum>", {12}, {{12, kSlotListed}}, 1},
      // out of 0..255: an item and a count, no slot
      {"<name>a</name><channelnum>300,-4</channelnum>", {300, -4}, {{255, kSlotNone}, {0, kSlotNone}}, 2},
      // saturating, not overflowing
      {"<name>a</name><channelnum>99999999999999</channelnum>", {INT_MAX}, {}, 1},
      // with commas only the first 100 characters count; every field is a number
      {nullptr, {0, 0, 1}, {{0, kSlotListed}, {1, kSlotListed}, {2, kSlotNone}}, 3},
      // an empty field reads as 0
      {"<name>a</name><channelnum>3,</channelnum>", {3, 0}, {{0, kSlotListed}, {3, kSlotListed}}, 2},
      // a value before the first name is ignored
      {"<channelnum>1</channelnum><name>a</name><channelnum>2</channelnum>", {2}, {{1, kSlotNone}}, 1},
      // a value element without text is skipped; a comment is not an element
      {"<name>a</name><channelnum/><!-- 5 --><channelnum>6</channelnum>", {6}, {{6, kSlotListed}}, 1},
  };
  for (const Case& c : cases) {
    const std::string values =
        c.values != nullptr ? std::string(c.values) : "<name>a</name><channelnum>" + longList + "</channelnum>";
    HostInfo h = Parse(Device(values));
    ASSERT_EQ(h.devices.size(), 1u) << values;
    const DeviceRecord& d = h.devices[0];
    EXPECT_EQ(d.channels, c.channels) << values;
    EXPECT_EQ(d.channelCount, c.count) << values;
    for (auto [slot, value] : c.channelSlots) EXPECT_EQ(d.channelSlots[slot], value) << values << " slot " << slot;
  }
  EXPECT_EQ(ChannelLabel(INT_MAX), "Channel2147483648");
}

TEST(HostInfo, TextsAreCutToTheirWidths) {
  HostInfo h = Parse(
      "<r><g><serverproxy><ip>" + std::string(2000, 'p') + "</ip><port>123456789</port></serverproxy>"
      "<device><name>d</name><type>" + std::string(40, 't') + "</type><ip>192.168.100.200.7</ip>"
      "<port>5540000000</port><username>" + std::string(20, 'u') + "</username><password>" +
      std::string(20, 'w') + "</password></device></g></r>");
  ASSERT_EQ(h.proxies.size(), 1u);
  EXPECT_EQ(h.proxies[0].ip, std::string(1023, 'p'));
  EXPECT_EQ(h.proxies[0].port, "1234567");
  ASSERT_EQ(h.devices.size(), 1u);
  const DeviceRecord& d = h.devices[0];
  EXPECT_EQ(d.type, std::string(15, 't'));
  EXPECT_EQ(d.ip, "192.168.100.200");
  EXPECT_EQ(d.port, "5540000");
  EXPECT_EQ(d.username, std::string(15, 'u'));
  EXPECT_EQ(d.password, std::string(15, 'w'));
}

TEST(HostInfo, RtspPortSetsTheAddress) {
  HostInfo h = Parse(
      "<r><g><device><name>a</name><ip>127.0.0.1</ip><rtspport>8554</rtspport></device>"
      "<device><name>b</name><ip>10.1.1.1</ip><rtspport>0</rtspport></device>"
      "<device><name>c</name><ip>10.1.1.2</ip><rtspport>554</rtspport></device></g></r>");
  ASSERT_EQ(h.devices.size(), 3u);
  EXPECT_EQ(h.devices[0].rtspPort, 8554);
  EXPECT_EQ(StreamAddress(h.devices[0], 3), "rtsp://127.0.0.1:8554/chn3");
  EXPECT_EQ(h.devices[1].rtspPort, 554);
  EXPECT_EQ(StreamAddress(h.devices[1], 0), "rtsp://10.1.1.1/chn0");
  EXPECT_EQ(StreamAddress(h.devices[2], 1), "rtsp://10.1.1.2/chn1");
}

TEST(HostInfo, ValuesGoToTheDeviceMostRecentlyNamed) {
  HostInfo h = Parse(
      "<r><g1><device><name>a</name></device><device><ip>1.2.3.4</ip><name>b</name><ip>5.6.7.8</ip></device>"
      "</g1><g2><other><name>x</name></other><device><channelnum>1</channelnum></device></g2></r>");
  ASSERT_EQ(h.devices.size(), 2u);
  EXPECT_EQ(h.devices[0].ip, "1.2.3.4");  // the second device element had no name yet
  EXPECT_EQ(h.devices[1].name, "b");
  EXPECT_EQ(h.devices[1].ip, "5.6.7.8");
  EXPECT_EQ(h.devices[1].channels, std::vector<int>{1});  // a later group, still b
}

TEST(HostInfo, BrokenAndMissingFiles) {
  HostInfo h;
  const std::string broken[] = {"", "<r><g><device><name>a</name>", "not xml at all", "<?xml version=\"1.0\"?>",
                                std::string(100000, '<')};
  for (const std::string& text : broken) {
    EXPECT_FALSE(ParseHostInfo(text.data(), text.size(), &h)) << text.substr(0, 40);
    EXPECT_TRUE(h.devices.empty());
  }
  EXPECT_FALSE(LoadHostInfo("/nonexistent/CSGetHostInfo.xml", &h));
  EXPECT_TRUE(h.devices.empty());
}

TEST(HostInfo, FileBesideTheProgramThenInTheDataFolder) {
  const std::string app = livetest::TempFolder("app") + "/";
  const std::string data = livetest::TempFolder("data") + "/";
  EXPECT_EQ(FindHostFile(app, data), "");
  { std::ofstream(data + kHostFileName) << Device("<name>in data</name>"); }
  EXPECT_EQ(FindHostFile(app, data), data + kHostFileName);
  { std::ofstream(app + kHostFileName) << Device("<name>beside</name>"); }
  const std::string found = FindHostFile(app, data);
  EXPECT_EQ(found, app + kHostFileName);
  HostInfo h;
  ASSERT_TRUE(LoadHostInfo(found, &h));
  ASSERT_EQ(h.devices.size(), 1u);
  EXPECT_EQ(h.devices[0].name, "beside");
  std::system(("rm -rf '" + app + "' '" + data + "'").c_str());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(HostInfo, FuzzBodyOverHandMadeInputs) {
  const std::string inputs[] = {
      Device("<name>a</name><ip>10.0.0.7</ip><channelnum>0,1,2,3</channelnum><deviceid>1,2</deviceid>"),
      Device("<name>a</name><channelnum>" + std::string(5000, ',') + "</channelnum>"),
      Device("<name>a</name><deviceid>" + std::string(300, '7') + "</deviceid>"),
      std::string(600, '<') + std::string(600, '>'),
      "<a>" + std::string(2000, ' ') + "<b><c><d><e>&#0;</e></d></c></b></a>",
  };
  for (const std::string& in : inputs)
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(in.data()), in.size()), 0);
}
