#include "host/portable/devtools_port.h"

#include <gtest/gtest.h>

TEST(DevToolsPort, OnlyUnprivilegedPortsInPlainDigits) {
  EXPECT_EQ(nimo::ParseDevToolsPort("9222"), 9222);
  EXPECT_EQ(nimo::ParseDevToolsPort("1024"), 1024);
  EXPECT_EQ(nimo::ParseDevToolsPort("65535"), 65535);
  for (const char* bad : {"", "0", "80", "1023", "65536", "99999", "123456", "-9222", "+9222", " 9222", "9222 ",
                          "0x2406", "92a2", "4294976518"}) {
    EXPECT_EQ(nimo::ParseDevToolsPort(bad), 0) << bad;
  }
}
