#pragma once

#include "testutil.h"

#include "database/clsdata.h"
#include "database/startup.h"

#include <memory>

// A fresh symbol database and a clsData on it for every test.
class DatabaseTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        data = std::make_unique<clsData>();
    }
    void TearDown() override
    {
        data.reset();
        QuotarisTest::TearDown();
    }

    std::unique_ptr<clsData> data;
};
