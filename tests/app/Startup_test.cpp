#include "app/Startup.h"

#include <gtest/gtest.h>

#include "platform/qvnls/Qvnls.h"

TEST(Startup, RefusesAnOldNationalLanguageLayer) {
  EXPECT_EQ(CheckQvnlsVersion(21016),
            "Unsupported version of QVNLS.DLL.\r\nVersion 021017 or higher is needed.");
  EXPECT_EQ(CheckQvnlsVersion(0), CheckQvnlsVersion(21016));
}

TEST(Startup, AcceptsOurOwnLayer) {
  EXPECT_FALSE(CheckQvnlsVersion(21017));
  EXPECT_FALSE(CheckQvnlsVersion(qvnls::GetVersion()));
}
