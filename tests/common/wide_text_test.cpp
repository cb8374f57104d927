// UTF-8 and the UTF-16 of the wide Win32 calls.
#include <gtest/gtest.h>

#include "common/wide_text.h"

namespace halvane {
namespace {

TEST(WideTextTest, OperatorTextsSurviveTheWayThereAndBack) {
  for (const char* text : {"", "PCAN_Init fail!\n", "修改细分后转盘需要重新复位！",
                           "节点1#,2#未上线", "周立功USBCAN-E-U", "𠀀"}) {
    EXPECT_EQ(narrow(widen(text)), text);
  }
  EXPECT_EQ(widen("衰减控制系统"), L"\u8870\u51cf\u63a7\u5236\u7cfb\u7edf");
  EXPECT_EQ(widen("𠀀").size(), 2u);  // a surrogate pair
}

}  // namespace
}  // namespace halvane
