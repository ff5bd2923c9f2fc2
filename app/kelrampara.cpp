#include "app/kelrampara.h"

#include "app/utils.h"
#include "videochip/x518_manage.h"

#include <cstring>

KelRamPara* KelRamPara::p_kelrampara_config = nullptr;
u8 g_cut_source_state[kCutSourceStateBytes] = {};
std::atomic<u8> g_language{0};
std::atomic<u8> g_image_current{0};

KelRamPara::KelRamPara()
{
    std::memset(&ram_para, 0, sizeof ram_para);
    std::memset(&ram_para_shadow, 0, sizeof ram_para_shadow);
    std::memset(ram_user_mode, 0, sizeof ram_user_mode);
    std::memset(&reg_image, 0, sizeof reg_image);
}

KelRamPara* KelRamPara::pInstance()
{
    if (!p_kelrampara_config)
        p_kelrampara_config = new KelRamPara;
    return p_kelrampara_config;
}

int KelRamPara::test_signal(int code)
{
    QMutexLocker lock(&Utils::_test_signal_mutex);
    if (p_kelrampara_config)
        emit p_kelrampara_config->sig_update_para(code);
    return 1;
}

void KelRamPara::raiseApply(u8 flag)
{
    QMutexLocker lock(&x518_manage::mutex);
    x518_manage::apply_flag = flag;
}
