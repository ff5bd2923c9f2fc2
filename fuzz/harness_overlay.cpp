// Fuzz harness of the overlay description file on a simulated box. The
// input is the file as a PC would upload it; the box reads it as a reload
// would, applies what it read and redraws the OSD plane on the simulated
// chip. Nothing may escape the reader (a file nested 100,000 deep once
// overflowed its stack); a file it refused is gone, a file it read is kept
// and would have been stored by a link, and the text it applies stays
// within the chip's text buffer.
#include "app/kelrampara.h"
#include "fuzz/fuzz_box.h"
#include "platform/platform.h"
#include "platform/sim/sim.h"
#include "videochip/omenu.h"
#include "videochip/x518_manage.h"

#include <cstdlib>
#include <string>

namespace {

constexpr const char* kOverlay = "/data/configs/omenu.json";

void check(bool ok)
{
    if (!ok)
        std::abort();
}

x518_manage& chip()
{
    static x518_manage* m = [] {
        check(fuzzbox::start());
        KelRamPara::pInstance();
        x518_manage* manager = x518_manage::prepareInstance();
        manager->openChip();
        manager->load_system_param();
        manager->define_param();
        manager->load_param();
        manager->load_char();
        return manager;
    }();
    return *m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    x518_manage& m = chip();
    check(platform::writeFileAtomic(kOverlay, data, size));
    OSD_LIST list;
    const bool read = get_json_omenu_para(kOverlay, &list);
    check(read == platform::exists(kOverlay));
    // The check a link makes before it stores an upload agrees with the reader.
    check(read == omenu::fault(std::string(reinterpret_cast<const char*>(data), size)).empty());
    if (!read) {
        check(list.osd[0].osdcount == 0);
        return 0;
    }
    for (const OMENU_PARA& e : list.osd) {
        const auto lines = omenu::textLines(e.texts);
        check(!lines.empty() && lines.size() <= size_t(omenu::kMaxLines));
        for (const auto& l : lines)
            check(l.size() <= size_t(omenu::kMaxLineChars));
    }
    set_OSD_para(&list.osd[0]);
    check(m.osd.g_unicode_line >= 0 && m.osd.g_unicode_line <= X518Osd::kTextLines);
    if (m.osd.osd_redraw)
        m.update_osd(m.spi_fd);
    m.osd.osd_redraw = m.osd.osd_reset = 0;
    return 0;
}
