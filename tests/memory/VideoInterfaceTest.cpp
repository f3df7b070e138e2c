#include "memory/VideoInterface.h"

#include <gtest/gtest.h>

#include "core/Cpu.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"
#include "tests/support/RecordingRenderer.h"
#include "video/RendererHost.h"

namespace vantor {
namespace {

using Lines = std::vector<std::string>;

void Write(uint32_t address, uint32_t value) {
  WriteTable[address >> 12](address >> 12, address & 0xFFF, value);
}
uint32_t Read(uint32_t address) {
  return ReadTable[address >> 12](address >> 12, address & 0xFFF);
}

class VideoInterfaceTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    test::BindRecordingRenderer();
    RendererLoad();
    host.Clear();
  }
  void TearDown() override {
    ReleaseRenderer();
    MachineTest::TearDown();
  }
};

TEST_F(VideoInterfaceTest, ANewWidthReinitialisesTheRendererAndTheSameWidthDoesNothing) {
  Write(0xA4400008, 0);  // already 0 after set-up
  Write(0xA4400008, 320);
  Write(0xA4400008, 320);
  Write(0xA4400008, 640);
  EXPECT_EQ(host.Lines(), (Lines{"Resolution set to 320x240", "Resolution set to 640x480"}));
  EXPECT_EQ(test::RecordedCalls(), (Lines{"Load 1", "Init 320x240", "DeInit", "Init 640x480"}));
  EXPECT_EQ(Read(0xA4400008), 640u);
  EXPECT_TRUE(RendererReady);
}

TEST_F(VideoInterfaceTest, EveryPageOfTheRangeMirrorsTheRegisters) {
  Write(0xA4401008, 512);  // another page of the range: still VI_WIDTH
  Write(0xA4400108, 320);  // offset 0x108 is only stored
  EXPECT_EQ(host.Lines(), Lines{"Resolution set to 512x384"});
  EXPECT_EQ(Read(0x844FF108), 320u);
}

TEST_F(VideoInterfaceTest, OnlyWordStoresReachTheHandlers) {
  Program(0x80001000, {test::EncodeI(15, 0, 8, 0xA440),  // lui t0, 0xA440
                       test::EncodeI(13, 0, 9, 320),     // ori t1, zero, 320
                       test::EncodeI(41, 8, 9, 10),      // sh t1, 10(t0): the low half of VI_WIDTH
                       test::EncodeI(13, 0, 9, 640),     // ori t1, zero, 640
                       test::EncodeI(43, 8, 9, 8)});     // sw t1, 8(t0)
  Step(4);
  EXPECT_EQ(Read(0xA4400008), 320u);  // changed silently, without a renderer call
  EXPECT_TRUE(host.Lines().empty());
  Step();
  EXPECT_EQ(host.Lines(), Lines{"Resolution set to 640x480"});
}

TEST_F(VideoInterfaceTest, CurrentLineWriteAcknowledgesOnlyTheVideoInterrupt) {
  *MI_INTR = 0x0F;
  Write(0xA4400010, 0x1234);
  EXPECT_EQ(*MI_INTR, 0x07u);
  EXPECT_EQ(Read(0xA4400010), 0x1234u);
}

TEST_F(VideoInterfaceTest, MisalignedWritesAreReportedAndStayInsideThePage) {
  Write(0xA4400009, 0xAABBCCDD);
  EXPECT_EQ(host.Lines(), Lines{"Misaligned VI write!"});
  EXPECT_EQ(PageWord(VIRegisterPage, 9), 0xAABBCCDDu);
  EXPECT_EQ(Read(0xA4400008), 0xBBCCDD00u);  // no resolution change: 0x09 is not VI_WIDTH
  EXPECT_TRUE(test::RecordedCalls() == Lines{"Load 1"});
  Write(0xA4400FFD, 0x11223344);  // the three bytes that fit
  EXPECT_EQ(PageWord(VIRegisterPage, 0xFFC) >> 8, 0x223344u);
}

TEST_F(VideoInterfaceTest, TheFrameComesFromTheOriginThroughTheCachedSegment) {
  Write(0xA4400004, 0x00100000);
  Write(0xA4400008, 320);
  ASSERT_TRUE(PresentFrame());
  EXPECT_EQ(test::LastFlippedFrame(), HostAddress(0x80100000));
  Write(0xA4400004, 0xA0200000);  // bit 31 already set: used as it is
  ASSERT_TRUE(PresentFrame());
  EXPECT_EQ(test::LastFlippedFrame(), HostAddress(0xA0200000));
}

}  // namespace
}  // namespace vantor
