// The CD track source on real libcdio reads of generated disc images.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "cd/ACS_CDROM.h"
#include "cd/SampleSink.h"
#include "platform/cdvolume/AuxAudio.h"
#include "tests/cd/DiscFolder.h"
#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

std::vector<dm::TrackSpec> MixedDisc() {
  return {dm::Sine(150, 440), dm::Noise(37, 3), dm::Data(100), dm::Square(75, 1000),
          dm::Silence(20)};
}

std::string Message(const std::function<void()>& action) {
  try {
    action();
  } catch (const EACSException& e) {
    return e.what();
  }
  return "no exception";
}

// Reads the whole open range with buffers of `bufferSize` bytes.
std::vector<uint8_t> ReadAll(TCDIn& cd, int bufferSize) {
  std::vector<uint8_t> all, buffer(bufferSize);
  while (int n = cd.ReadData(buffer.data(), bufferSize)) {
    EXPECT_LE(n, bufferSize);
    EXPECT_LE(n, TCDIn::kChunkBytes);
    all.insert(all.end(), buffer.begin(), buffer.begin() + n);
  }
  return all;
}

// Keeps what it is given, and whether on a thread other than its maker's.
struct TRecordingSink final : TSampleSink {
  explicit TRecordingSink(bool asRead) : AsRead(asRead) {}
  void Samples(const uint8_t* pcm, size_t bytes) override {
    Bytes.insert(Bytes.end(), pcm, pcm + bytes);
    OtherThread = OtherThread || std::this_thread::get_id() != Maker;
  }
  bool TakesSamplesAsRead() const override { return AsRead; }
  bool AsRead;
  std::thread::id Maker = std::this_thread::get_id();
  std::vector<uint8_t> Bytes;
  bool OtherThread = false;
};

class CDIn : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Add("mixed", tracks_);
    cd_ = MakeComponent<TCDIn>();
  }
  TCDIn& Cd() { return *cd_; }
  void Select(int track) {
    cd_->SetStartTrack(track);
    cd_->SetEndTrack(track);
  }

  DiscFolder folder_;
  std::vector<dm::TrackSpec> tracks_ = MixedDisc();
  std::vector<uint32_t> starts_ = dm::StartSectors(MixedDisc());
  ComponentPtr<TCDIn> cd_;
};

TEST_F(CDIn, RipsEachAudioTrackBitExactWithItsExactSize) {
  ASSERT_EQ(Cd().DriveCount(), 1);
  ASSERT_EQ(Cd().TrackCount(), 5);
  for (int track : {1, 2, 4, 5}) {  // first, middle, and the last up to the lead-out
    Select(track);
    // Sinks see every byte once, on the worker or, as read, on the reader.
    TRecordingSink handedOut(false), asRead(true);
    Cd().SetSampleSinks({&handedOut, &asRead});
    Cd().OpenStream();
    int32_t expectedSize = (starts_[track] - starts_[track - 1]) * TCDIn::kSectorBytes;
    EXPECT_EQ(Cd().Size(), expectedSize) << "track " << track;
    EXPECT_EQ(Cd().TotalSize(), expectedSize);
    auto bytes = ReadAll(Cd(), track == 2 ? 1000 : 200000);
    EXPECT_EQ(bytes, dm::TrackBytes(tracks_[track - 1], starts_[track - 1])) << "track " << track;
    EXPECT_EQ(handedOut.Bytes, bytes);
    EXPECT_EQ(asRead.Bytes, bytes);
    EXPECT_FALSE(handedOut.OtherThread);
    EXPECT_TRUE(asRead.OtherThread);
    EXPECT_EQ(Cd().Position(), expectedSize);
    EXPECT_EQ(Cd().ReadData(bytes.data(), 100), 0) << "the end stays the end";
    Cd().CloseStream();
    Cd().SetSampleSinks({});
    EXPECT_FALSE(Cd().Busy());
    EXPECT_EQ(Cd().Size(), 0);
  }
}

TEST_F(CDIn, HandsOutOneChunkOverAsManyReadsAsTheCallerNeeds) {
  Select(1);
  Cd().OpenStream();
  std::vector<uint8_t> buffer(300000);
  // 150 sectors = two chunks of one second each.
  EXPECT_EQ(Cd().ReadData(buffer.data(), 100000), 100000);
  EXPECT_EQ(Cd().ReadData(buffer.data(), 300000), TCDIn::kChunkBytes - 100000);
  EXPECT_EQ(Cd().ReadData(buffer.data(), 300000), TCDIn::kChunkBytes);
  EXPECT_EQ(Cd().ReadData(buffer.data(), 300000), 0);
  Cd().CloseStream();
}

TEST_F(CDIn, AnInterruptEndsItsRunAfterTheChunkInHandButNotTheNextRun) {
  Select(1);  // 150 sectors: two chunks
  std::vector<uint8_t> buffer(TCDIn::kChunkBytes);
  Cd().OpenStream();
  ASSERT_EQ(Cd().ReadData(buffer.data(), 100000), 100000);
  Cd().InterruptRead();
  EXPECT_EQ(Cd().ReadData(buffer.data(), TCDIn::kChunkBytes), TCDIn::kChunkBytes - 100000)
      << "what was read is still handed out";
  EXPECT_EQ(Cd().ReadData(buffer.data(), TCDIn::kChunkBytes), 0) << "then the stream ends";
  EXPECT_EQ(Cd().ReadData(buffer.data(), TCDIn::kChunkBytes), 0);
  Cd().CloseStream();

  Cd().InterruptRead();  // between runs
  Cd().OpenStream();
  EXPECT_EQ(ReadAll(Cd(), TCDIn::kChunkBytes), dm::TrackBytes(tracks_[0], starts_[0]));
  Cd().CloseStream();
}

TEST_F(CDIn, TrackInfoGivesTypeAndDuration) {
  TCDTrackInfo first = Cd().TrackInfo(1);  // 150 sectors = 2 s
  EXPECT_EQ(first.TrackType, ttAudio);
  EXPECT_EQ(first.Min, 0);
  EXPECT_EQ(first.Sec, 2);
  EXPECT_EQ(first.Frame, 0);
  TCDTrackInfo second = Cd().TrackInfo(2);  // 37 sectors
  EXPECT_EQ(second.Sec, 0);
  EXPECT_EQ(second.Frame, 37);
  EXPECT_EQ(Cd().TrackInfo(3).TrackType, ttData);
  EXPECT_EQ(Message([&] { Cd().TrackInfo(0); }), "Track out of range.");
  EXPECT_EQ(Message([&] { Cd().TrackInfo(6); }), "Track out of range.");
  EXPECT_EQ(Cd().DriveStatus(), 1);
}

TEST_F(CDIn, OpenStreamChecksInOrderAndChangesNothingWhenItRefuses) {
  struct Case {
    int start, end;
    const char* message;
  } cases[] = {
      {0, 0, "The start track out of range"},  {6, 6, "The start track out of range"},
      {3, 3, "Trying to rip a data track"},    {1, 5 + 1, "The end track out of range"},
      {0, 99, "The start track out of range"},  // the start is checked first
  };
  for (const auto& k : cases) {
    Cd().SetStartTrack(k.start);
    Cd().SetEndTrack(k.end);
    EXPECT_EQ(Message([&] { Cd().OpenStream(); }), k.message) << k.start << ".." << k.end;
    EXPECT_FALSE(Cd().Busy());
  }
  Cd().SetStartTrack(4);
  Cd().SetEndTrack(5);  // the last track is a valid end
  EXPECT_NO_THROW(Cd().OpenStream());
  EXPECT_EQ(Cd().Size(), (starts_[5] - starts_[3]) * TCDIn::kSectorBytes);
  Cd().CloseStream();
}

TEST_F(CDIn, BusyRulesAndTheirMessages) {
  std::vector<uint8_t> buffer(100);
  EXPECT_EQ(Message([&] { Cd().ReadData(buffer.data(), 100); }), "The Stream is not opened");
  Select(1);
  Cd().OpenStream();
  EXPECT_EQ(Message([&] { Cd().SetStartTrack(2); }), "The component is buisy");
  EXPECT_EQ(Message([&] { Cd().SetEndTrack(2); }), "The component is busy");
  EXPECT_EQ(Message([&] { Cd().OpenStream(); }), "The component is busy");
  EXPECT_EQ(Cd().StartTrack(), 1);
  Cd().CloseStream();
  Cd().SetCurrentDrive(5);  // one drive only: ignored
  EXPECT_EQ(Cd().CurrentDrive(), 0);
  Cd().SetCurrentDrive(-1);
  EXPECT_EQ(Cd().CurrentDrive(), 0);
}

TEST_F(CDIn, EndBelowStartIsAnEmptyRange) {
  Cd().SetStartTrack(2);
  Cd().SetEndTrack(1);
  Cd().OpenStream();
  EXPECT_EQ(Cd().Size(), 0);
  std::vector<uint8_t> buffer(1000);
  EXPECT_EQ(Cd().ReadData(buffer.data(), 1000), 0);
  Cd().CloseStream();
}

TEST_F(CDIn, AnImageThatGoesAwayIsGone) {
  std::filesystem::remove(folder_.Dir() + "/mixed.bin");
  Select(1);
  EXPECT_EQ(Message([&] { Cd().OpenStream(); }), "The disc or image is gone");
  EXPECT_EQ(Cd().DriveStatus(), 0);
  EXPECT_EQ(Cd().TrackCount(), -1);
}

TEST_F(CDIn, AReadFaultFailsTheReadNamingTheSectorInsteadOfEndingEarly) {
  Select(1);
  Cd().OpenStream();
  // The image loses everything after its first second while being read.
  std::filesystem::resize_file(folder_.Dir() + "/mixed.bin", 75 * TCDIn::kSectorBytes);
  std::vector<uint8_t> buffer(TCDIn::kChunkBytes);
  std::string error;
  int64_t total = 0;
  try {
    while (int n = Cd().ReadData(buffer.data(), TCDIn::kChunkBytes)) total += n;
  } catch (const EACSException& e) {
    error = e.what();
  }
  EXPECT_EQ(error.rfind("Read error at sector ", 0), 0u) << error;
  EXPECT_LT(total, Cd().Size()) << "the track must not look complete";
  Cd().CloseStream();
}

TEST(CDInDrives, CurrentDriveSelectsAmongImagesAndRootsHoldTheTracks) {
  DiscFolder folder;
  folder.Add("a", {dm::Sine(75, 440)});
  folder.Add("b", {dm::Sine(75, 880), dm::Sine(75, 660)});
  auto cd = MakeComponent<TCDIn>();
  ASSERT_EQ(cd->DriveCount(), 2);
  cd->SetCurrentDrive(1);
  EXPECT_EQ(cd->CurrentDrive(), 1);
  EXPECT_EQ(cd->TrackCount(), 2);
  std::string root = cd->DriveRoot(1);
  EXPECT_EQ(root.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(root + "Track02.cda"));
  cd->SetCurrentDrive(0);
  EXPECT_EQ(cd->TrackCount(), 1);
}

// --- the CD-audio volume ---------------------------------------------------

class TFakeAux : public cdvolume::TAuxAudio {
 public:
  explicit TFakeAux(std::vector<bool> cdDevices) : cd_(std::move(cdDevices)) {
    volume_.assign(cd_.size(), 0x12345678u);
  }
  int NumDevs() override { return static_cast<int>(cd_.size()); }
  bool IsCdAudio(int device) override { return cd_.at(device); }
  uint32_t GetVolume(int device) override { return volume_.at(device); }
  void SetVolume(int device, uint32_t v) override {
    volume_.at(device) = v;
    ++writes;
  }
  std::vector<uint32_t> volume_;
  int writes = 0;

 private:
  std::vector<bool> cd_;
};

TEST(CDPlayer, WithoutACdLineReadsZeroAndWritesNothing) {
  auto aux = std::make_unique<TFakeAux>(std::vector<bool>{false, false});
  auto* fake = aux.get();
  auto player = MakeComponent<TCDPlayer>(std::move(aux));
  EXPECT_EQ(player->CDAudioDevice(), -1);
  EXPECT_EQ(player->LVolume(), 0);
  EXPECT_EQ(player->RVolume(), 0);
  player->SetLVolume(100);
  EXPECT_EQ(fake->writes, 0);
}

TEST(CDPlayer, WritesOneChannelAndKeepsTheOther) {
  auto aux = std::make_unique<TFakeAux>(std::vector<bool>{false, true, true});
  auto* fake = aux.get();
  auto player = MakeComponent<TCDPlayer>(std::move(aux));
  EXPECT_EQ(player->CDAudioDevice(), 1) << "the first CD-audio device";
  EXPECT_EQ(player->LVolume(), 0x5678);
  EXPECT_EQ(player->RVolume(), 0x1234);
  player->SetLVolume(30000);
  EXPECT_EQ(fake->volume_[1], (0x1234u << 16) | 30000u);
  player->SetRVolume(0);
  EXPECT_EQ(fake->volume_[1], 30000u);
  EXPECT_EQ(fake->volume_[2], 0x12345678u);
}

// Keeps its levels outside, where they outlive the player.
class TSharedAux : public cdvolume::TAuxAudio {
 public:
  explicit TSharedAux(std::vector<uint32_t>& levels) : levels_(levels) {}
  int NumDevs() override { return static_cast<int>(levels_.size()); }
  bool IsCdAudio(int) override { return true; }
  uint32_t GetVolume(int device) override { return levels_.at(device); }
  void SetVolume(int device, uint32_t v) override { levels_.at(device) = v; }

 private:
  std::vector<uint32_t>& levels_;
};

TEST(CDPlayer, PutsTheLinesLevelBackWhenItGoesAndLeavesAnUntouchedLineAlone) {
  std::vector<uint32_t> levels = {0x40004000u};
  {
    auto player = MakeComponent<TCDPlayer>(std::make_unique<TSharedAux>(levels));
    player->SetLVolume(0);
    player->SetRVolume(0);
    EXPECT_EQ(levels[0], 0u);
  }
  EXPECT_EQ(levels[0], 0x40004000u);
  {
    auto player = MakeComponent<TCDPlayer>(std::make_unique<TSharedAux>(levels));
    levels[0] = 0x1000u;  // changed by someone else while the player lives
  }
  EXPECT_EQ(levels[0], 0x1000u);
}

}  // namespace
}  // namespace cdx::test
