// A fresh box with its parameter store and the command handler of a link,
// served directly: requests go in as frames, replies come back checked for
// their addressing.
#pragma once

#include "app/config_engine.h"
#include "app/kelrampara.h"
#include "links/message_deal.h"
#include "tests/links/link_client.h"
#include "tests/support/box_test.h"
#include "videochip/x518_manage.h"

#include <QSettings>

// A value of the settings file as it stands now.
inline QString savedSetting(const char* key)
{
    QSettings s(platform::qpath(ConfigEngine::kSettingsFile), QSettings::IniFormat);
    return s.value(key).toString();
}

class HandlerTest : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        ASSERT_NE(ConfigEngine::pInstance(), nullptr);
        store = KelRamPara::pInstance();
        x518_manage::apply_flag = 0;
        g_app_reset_flag = 0;
        g_update_flag = 0;
        G_reboot_tickTicks = 0;
        G_timeTicks = 0;
        platform::sim::clearShellJournal();
    }

    // Serves one request on `h` and returns its reply; fails the test when
    // there is none or it is not addressed back to the sender.
    static CTRL_FRAME reply(message_deal& h, const CTRL_FRAME& req)
    {
        CTRL_FRAME r;
        EXPECT_TRUE(h.deal(req, r));
        EXPECT_EQ(r.target, req.source);
        EXPECT_EQ(r.source, req.target);
        EXPECT_EQ(r.command, req.command);
        EXPECT_EQ(r.sub_command, req.sub_command);
        return r;
    }
    CTRL_FRAME ask(const CTRL_FRAME& req) { return reply(handler, req); }
    u8 status(message_deal& h, const CTRL_FRAME& req) { return statusOf(reply(h, req)); }
    u8 status(const CTRL_FRAME& req) { return status(handler, req); }
    u8 status(u8 command, const std::vector<u8>& payload, u8 sub = 0)
    {
        return status(pcRequest(command, payload, sub));
    }

    KelRamPara* store = nullptr;
    message_deal handler{message_deal::LINK_TCP};
};
