#include "app/kelrampara.h"

#include "app/apply_handover.h"
#include "app/bounded_json.h"
#include "app/file_copy.h"

#include "app/utils.h"
#include "platform/platform.h"

#include <QThread>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

KelRamPara* KelRamPara::p_kelrampara_config = nullptr;
std::atomic<u8> KelRamPara::save_owed = boxstate::startValue(save_owed, 0);
u8 g_cut_source_state[kCutSourceStateBytes];
const bool kCutSourceStateStart = boxstate::startFilled(g_cut_source_state, 0);
std::atomic<u8> g_language = boxstate::startValue(g_language, 0);
std::atomic<u8> g_image_current = boxstate::startValue(g_image_current, 0);

namespace {

constexpr unsigned long kFilePauseMs = 100;   // at start and after a mode file is read
constexpr unsigned long kShellPauseUs = 100;  // between the shell commands of a deletion
constexpr int kNoCrop = ram::kCrops;          // "no record found" index
constexpr int kNoSlot = 0x100;                // KelUserModeIndex: no saved slot
constexpr u32 kLangModeTwo = 1u << 17;        // language mode 2 (without simplified Chinese)
constexpr u32 kLangMaskKeep = 0xFFFE;         // drops simplified Chinese and the mode bits
constexpr int kLangBits = 32;
constexpr u32 kSlotAddressShift = 12;
constexpr u32 kSlotAddressMask = 0xFF;
constexpr u32 kSlotOffsetMask = 0xFFF;
constexpr u16 kSaveRequestLowByte = 0x00FF;  // start-up clears the request's high byte
// The most each file the store reads may hold: the parameter file as the
// box writes it (a shorter one that still holds the saved range is taken),
// a user-mode file its slot's file image exactly, the overlay the most a
// link stores of one.
constexpr size_t kParaFileLargest = ram::kParaFileSize;
constexpr size_t kModeFileSize = ram::kSlotFileSize;
constexpr size_t kOverlayFileLargest = boundedJson::kMaxBytes;

enum ModeIndexDirection { kPrevious = 0, kNext = 1, kCurrentOrNext = 2 };
enum ModeFileWrite { kWriteFilled = 0, kWriteFromLive = 1 };

// The files whose last write failed: a failure is told when a file's
// writes start failing, not at every try (a save is tried every second).
std::mutex g_failingMutex;
std::set<std::string> g_failingWrites = boxstate::startValue(g_failingWrites, std::set<std::string>());

// Notes how a write of `boxPath` went; true when it failed and the one
// before had not.
bool newFailure(const std::string& boxPath, bool written)
{
    std::lock_guard<std::mutex> lock(g_failingMutex);
    if (written) {
        g_failingWrites.erase(boxPath);
        return false;
    }
    return g_failingWrites.insert(boxPath).second;
}

void pauseMs(unsigned long ms)
{
    QThread::msleep(ms);
}
void pauseUs(unsigned long us)
{
    QThread::usleep(us);
}

void runShell(const QString& cmd)
{
    Utils::system_mutex(cmd, nullptr);
}

u8* bytesOf(KEL_RAM_PARA& b)
{
    return reinterpret_cast<u8*>(&b);
}

bool slotIndexValid(int i)
{
    return i >= 0 && i < ram::kUserModes;
}

// Offset of a field of window i / crop record c in the block.
constexpr int imageSourceOffset(int i)
{
    return static_cast<int>(offsetof(KEL_RAM_PARA, image) + sizeof(IMAGE_PARA) * i + offsetof(IMAGE_PARA, source));
}
constexpr int cropKeyOffset(int c)
{
    return static_cast<int>(offsetof(KEL_RAM_PARA, crop_list) + sizeof(CROP_ITEM) * c + offsetof(CROP_ITEM, key));
}
constexpr int kSlotOsdEnable = ram::slotDataIndex(offsetof(KEL_RAM_PARA, osd_enable));

bool cropInUse(const CROP_ITEM& c)
{
    return (c.key & ram::kCropInUse) != 0;
}
using ram::cropNumber;
using ram::cropSource;

// The low 16 bits of the rectangle's X, Y, W and H into the record.
void setCropRect(CROP_ITEM& c, const CROP_PARA& rect)
{
    c.x = static_cast<u16>(rect.x);
    c.y = static_cast<u16>(rect.y);
    c.w = static_cast<u16>(rect.w);
    c.h = static_cast<u16>(rect.h);
}
bool cropSourceValid(int source)
{
    return source >= 0 && source < ram::kCropBitmapSources;
}

// Bit of (source, crop number) in the crop-exists bitmap; -1 when the pair
// lies outside it.
int cropBit(int source, int number)
{
    if (!cropSourceValid(source) || number < 1 || number > ram::kCrops)
        return -1;
    return source * ram::kCrops + number - 1;
}
bool cropBitSet(int bit)
{
    return (g_cut_source_state[bit / 8] >> (bit % 8)) & 1;
}

// Change codes handed to the GUI thread and not yet emitted there, one flag
// per kind; codes beyond the table are never folded.
constexpr int kFoldedCodes = 128;
std::atomic<bool> g_codeWaiting[kFoldedCodes];
const bool kCodeWaitingStart = boxstate::startFilled(g_codeWaiting, false);

bool foldable(int code)
{
    return code >= 0 && code < kFoldedCodes;
}
// True when no code of this kind waits yet (the caller hands it over).
bool claimCodeWaiting(int code)
{
    return !foldable(code) || !g_codeWaiting[code].exchange(true);
}
void releaseCodeWaiting(int code)
{
    if (foldable(code))
        g_codeWaiting[code] = false;
}

bool markersAre(const USER_MODE_SLOT& s, u8 v)
{
    return s.marker[0] == v && s.marker[1] == v;
}

// Source id of window `image` in a block image whose first byte is block
// offset `first` (0 for a whole block, 896 for a slot's data); the crop
// record it names goes to *cropIndex, or -1. Window records and crop keys
// of every index up to 255 lie inside either image.
int resolveSource(const u8* base, int first, int image, int* cropIndex)
{
    *cropIndex = -1;
    if (image < 0 || image >= ram::kImages)
        return 0;
    const u16 src = ram::loadU16(base + (imageSourceOffset(image) - first));
    if (!(src & ram::kSourceIsCrop))
        return src & ram::kSourceLowMask;
    const int c = src & ram::kSourceLowMask;
    *cropIndex = c;
    return ram::loadU16(base + (cropKeyOffset(c) - first)) & ram::kCropSourceMask;
}

}  // namespace

KelRamPara::KelRamPara()
{
    std::memset(&ram_para, 0, sizeof ram_para);
    std::memset(&ram_para_shadow, 0, sizeof ram_para_shadow);
    std::memset(ram_user_mode, 0, sizeof ram_user_mode);
    std::memset(&reg_image, 0, sizeof reg_image);
    std::memset(pending_mode_, 0, sizeof pending_mode_);
    // Codes that waited for an earlier store died with it.
    for (std::atomic<bool>& waiting : g_codeWaiting)
        waiting = false;
}

// ---------------------------------------------------------------- start-up

KelRamPara* KelRamPara::pInstance()
{
    if (p_kelrampara_config)
        return p_kelrampara_config;
    KelRamPara* s = new KelRamPara;
    p_kelrampara_config = s;
    boxstate::made(p_kelrampara_config);
    s->loadParaFile();
    pauseMs(kFilePauseMs);
    s->checkLanguageAtStart();
    s->applyStartResets();
    s->KelCropSourceInit();
    s->ram_para_shadow = s->ram_para;
    for (int i = 0; i < ram::kUserModes; ++i) {
        s->mode_file_deal(i, 0);
        pauseUs(kShellPauseUs);
    }
    s->setRegisterStartValues();
    return s;
}

// Copies block offsets 768-4095 from a parameter file image; false when the
// image is too short to hold them.
bool KelRamPara::loadSavedRange(const std::string& file)
{
    if (file.size() < static_cast<size_t>(ram::kParaFileDataEnd))
        return false;
    std::memcpy(bytesOf(ram_para) + ram::kSavedStart, file.data() + ram::kParaMarkerSize, ram::kSavedSize);
    return true;
}

// Something other than a plain file in its place, and a file larger than
// the box writes it, is refused (said on the console) and replaced as a
// missing file is.
void KelRamPara::loadParaFile()
{
    std::string file;
    switch (platform::readFileUpTo(kParaFile, file, kParaFileLargest)) {
    case platform::ReadResult::Missing:
        if (platform::exists(kParaFile)) {
            pauseMs(kFilePauseMs);  // there but refused or unreadable: told when refused
            newFailure(kParaFile, false);
            recreateParaFile(false);
            return;
        }
        KEL_DBG("\n %s file un exist \n", kParaFile);
        recreateParaFile();
        return;
    case platform::ReadResult::TooLarge: break;
    case platform::ReadResult::Read: {
        const u8 m0 = file.size() > 0 ? static_cast<u8>(file[0]) : 0;
        const u8 m1 = file.size() > 1 ? static_cast<u8>(file[1]) : 0;
        KEL_DBG("\n ram_valid = %#x,%#x \n", m0, m1);
        // A file cut short (a power cut while it was written) counts as invalid
        // like a wrong marker: loading it would leave part of the block zero.
        if (m0 == ram::kParaFileMarker && m1 == ram::kParaFileMarker && loadSavedRange(file))
            return;
        tellUnfitParaFile(file, m0, m1);
        break;
    }
    }
    platform::removeFile(kParaFile);
    KEL_DBG("\n delete %s ,use the default para\n", kParaFile);
    pauseMs(kFilePauseMs);
    recreateParaFile();
}

// A parameter file the box did not write whole (another file, random bytes,
// a write cut short) is named on the console before the defaults replace it.
void KelRamPara::tellUnfitParaFile(const std::string& file, u8 m0, u8 m1)
{
    char what[112];
    if (file.size() >= ram::kParaMarkerSize && (m0 != ram::kParaFileMarker || m1 != ram::kParaFileMarker))
        std::snprintf(what, sizeof what, "no parameter file (it starts 0x%02X 0x%02X, not 0x%02X 0x%02X)", m0, m1,
                      ram::kParaFileMarker, ram::kParaFileMarker);
    else
        std::snprintf(what, sizeof what, "cut short (%zu bytes, not the %d of the parameter file)", file.size(),
                      int(ram::kParaFileDataEnd));
    platform::refuseFile(kParaFile, what);
}

// Writes the default table as a new parameter file and loads it back. When
// the file cannot be written or read back, the block still gets the default
// table: a box without a usable file runs on the defaults, not on zeros.
bool KelRamPara::recreateParaFile(bool tell)
{
    const bool written = writeFileSynced(kParaFile, ram::default_para_ramlist(), ram::kParaFileSize);
    std::string file;
    if (written && platform::readFileUpTo(kParaFile, file, kParaFileLargest) == platform::ReadResult::Read &&
        loadSavedRange(file))
        return true;
    if (tell)
        KEL_DBG("\n[KelRamPara] %s not recreated, default para in memory only\n", kParaFile);
    std::memcpy(bytesOf(ram_para) + ram::kSavedStart, ram::default_para_ramlist() + ram::kParaMarkerSize,
                ram::kSavedSize);
    return false;
}

// The first language 0-4 enabled in g_lcd_lang_valid, or -1.
static int firstEnabledLanguage()
{
    const u32 mask = g_lcd_lang_valid.load();
    for (int l = 0; l < ram::kLanguages; ++l)
        if (mask & (1u << l))
            return l;
    return -1;
}

static bool languageEnabled(u8 lang)
{
    return lang < kLangBits && (g_lcd_lang_valid.load() & (1u << lang)) != 0;
}

void KelRamPara::checkLanguageAtStart()
{
    u8 lang = static_cast<u8>(ram_para.language & 0xFF);
    g_language = lang;
    // One step against a link thread that sets the languages meanwhile: the
    // bits are dropped from the very mask they were found in.
    u32 mask = g_lcd_lang_valid.load();
    while ((mask & 1u) && (mask & kLangModeTwo) &&
           !g_lcd_lang_valid.compare_exchange_weak(mask, mask & kLangMaskKeep)) {
    }
    if (languageEnabled(lang))
        return;
    const int first = firstEnabledLanguage();
    if (first < 0)
        return;
    ram_para.language = static_cast<u16>((ram_para.language & 0xFF00) | first);
    g_language = static_cast<u8>(first);
}

void KelRamPara::applyStartResets()
{
    for (int i = 0; i < ram::kShownImages; ++i)
        ram_para.image[i].flags &= static_cast<u16>(~ram::kFlagFreeze);
    ram_para.led_off = 0;
    ram_para.test_pattern = 0;
    ram_para.reserved_865 = 0;
    ram_para.current_mode = 0;
    ram_para.mode_save_request &= kSaveRequestLowByte;
    ram_para.splice_mode = ram::SPLICE_NONE;
    for (SEAMLESS_PARA& p : ram_para.seamless_para) {
        p.para0 = ram::kSeamlessDefault;
        p.para1 = ram::kSeamlessDefault;
    }
}

void KelRamPara::setRegisterStartValues()
{
    auto* regs = reinterpret_cast<u8*>(&reg_image);
    const size_t from = offsetof(KEL_REG_IMAGE, chip_flags);
    const size_t to = offsetof(KEL_REG_IMAGE, reserved_1061);
    std::memset(regs + from, 0, to - from);
    reg_image.chip_flags = ram::kRegChipFlagsStart;
    reg_image.edid_flags = ram::kRegEdidFlagsStart;
    reg_image.hdmi_tx_flags = ram::kRegHdmiTxFlagsStart;
    reg_image.reg_53 = ram::kReg53Start;
    reg_image.reg_54 = ram::kReg54Start;
    reg_image.reg_56 = ram::kReg56Start;
    std::memset(reg_image.reg_60, ram::kReg60Start, sizeof reg_image.reg_60);
}

// ---------------------------------------------------------------- signal and apply

void KelRamPara::markRegister(u8 KEL_REG_IMAGE::*reg, u8 bits, bool on, int code)
{
    if (KelRamPara* store = p_kelrampara_config) {
        QMutexLocker lock(&store->mutex);
        u8& value = store->reg_image.*reg;
        value = static_cast<u8>(on ? value | bits : value & ~bits);
    }
    test_signal(code);
}

int KelRamPara::test_signal(int code)
{
    KelRamPara* store = p_kelrampara_config;
    if (!store)
        return 1;
    if (QThread::currentThread() == store->thread()) {
        emit store->sig_update_para(code);
        return 1;
    }
    QMutexLocker lock(&Utils::_test_signal_mutex);
    if (!claimCodeWaiting(code))
        return 1;
    QMetaObject::invokeMethod(
        store,
        [store, code] {
            // Released first: a change made while the slot runs is announced again.
            releaseCodeWaiting(code);
            emit store->sig_update_para(code);
        },
        Qt::QueuedConnection);
    return 1;
}

void KelRamPara::raiseApply(u8 flag)
{
    QMutexLocker lock(&ApplyHandover::mutex);
    raiseApplyLocked(flag);
}

void KelRamPara::raiseApplyLocked(u8 flag)
{
    // A pending 2 (apply and synchronise the user-mode files) is never
    // lowered to a plain apply, or the synchronisation would be lost.
    if (flag > ApplyHandover::flag.load())
        ApplyHandover::flag = flag;
    // The files follow the block whether or not the chip can take it.
    save_owed |= static_cast<u8>(kSaveBlock | (flag >= SYNC_MODE_FILES ? kSaveModeFiles : 0));
    ApplyHandover::worker.wake();
}

bool KelRamPara::editBlock(const std::function<void(KEL_RAM_PARA&)>& edit)
{
    KelRamPara* store = p_kelrampara_config;
    if (!store)
        return false;
    QMutexLocker lock(&ApplyHandover::mutex);
    const KEL_RAM_PARA before = store->ram_para;
    edit(store->ram_para);
    if (std::memcmp(&before, &store->ram_para, sizeof before) == 0)
        return false;
    raiseApplyLocked();
    return true;
}

int KelRamPara::ram_para_save()
{
    return test_signal(SYNC_PARA_CHANGED);
}

// ---------------------------------------------------------------- protocol access

int KelRamPara::KelRamParaDeal(u8* data, u16 len, u32 offset)
{
    if (static_cast<uint64_t>(offset) + len > static_cast<uint64_t>(ram::kBlockSize))
        return 1;
    if (!len)
        return 0;
    std::memcpy(bytesOf(ram_para) + offset, data, len);
    ++link_writes_;
    for (u32 word = offset / sizeof(u16); word <= (offset + len - 1) / sizeof(u16); ++word)
        link_stamps_[word] = link_writes_;
    constexpr u32 kRequestAt = offsetof(KEL_RAM_PARA, mode_save_request);
    if (offset < kRequestAt + sizeof ram_para.mode_save_request && offset + len > kRequestAt)
        takeSaveRequestWritten();
    return 0;
}

u32 KelRamPara::linkWriteStamp(u32 offset) const
{
    return offset < ram::kBlockSize ? link_stamps_[offset / sizeof(u16)] : 0;
}

int KelRamPara::KelModeUserRamParaDeal(u8* data, u16 len, u32 address)
{
    const u32 m = (address >> kSlotAddressShift) & kSlotAddressMask;
    if (m < 1 || m > static_cast<u32>(ram::kUserModes))
        return 1;
    const u32 at = address & kSlotOffsetMask;
    if (at + len > static_cast<u32>(ram::kSlotSize)) {
        KEL_DBG("\n[KelModeUserRamParaDeal] %u bytes at %#x run past slot %u\n", len, at, m);
        return 1;
    }
    if (len)
        std::memcpy(reinterpret_cast<u8*>(&ram_user_mode[m - 1]) + at, data, len);
    return 0;
}

// ---------------------------------------------------------------- sources and crops

int KelRamPara::KelGetImageSource(u8* base, u8 image, i16* is_crop, char* crop_index, u8 from_mode)
{
    if (!base || image >= ram::kImages)
        return 0;
    const int first = (from_mode == 1) ? ram::kUserModeStart : 0;
    int crop = -1;
    const int source = resolveSource(base, first, image, &crop);
    if (is_crop)
        *is_crop = crop >= 0 ? 1 : 0;
    if (crop >= 0 && crop_index)
        *crop_index = static_cast<char>(crop);
    return source;
}

int KelRamPara::KelGetSourceNum(int source, int n)
{
    if (n < 1)
        return 0;
    const int limit = n < ram::kCrops ? n : ram::kCrops;
    int count = 0;
    for (int k = 0; k < limit; ++k) {
        const CROP_ITEM& c = ram_para.crop_list[k];
        if (cropInUse(c) && cropSource(c.key) == source)
            ++count;
    }
    return count;
}

void KelRamPara::KelCropSourceInit()
{
    std::memset(g_cut_source_state, 0, sizeof g_cut_source_state);
    for (int k = 0; k < ram::kCrops; ++k) {
        const CROP_ITEM& c = ram_para.crop_list[k];
        if (!cropInUse(c))
            continue;
        // Keys come from the protocol too: one naming a source or a crop
        // number the bitmap has no bit for is skipped.
        const int bit = cropBit(cropSource(c.key), cropNumber(c.key));
        if (bit < 0) {
            KEL_DBG("\n[KelCropSourceInit] crop record %d key %#x skipped\n", k, c.key);
            continue;
        }
        g_cut_source_state[bit / 8] |= static_cast<u8>(1u << (bit % 8));
    }
}

int KelRamPara::KelGetCropID(int source, int n)
{
    if (!cropSourceValid(source) || n < 1)
        return 0;
    int seen = 0;
    for (int number = 1; number <= ram::kCrops; ++number)
        if (cropBitSet(cropBit(source, number)) && ++seen == n)
            return number;
    return 0;
}

int KelRamPara::KelAddCropID(int source)
{
    if (!cropSourceValid(source))
        return 0;
    for (int number = 1; number <= ram::kCrops; ++number)
        if (!cropBitSet(cropBit(source, number)))
            return number;
    return 0;
}

// Index of the first record in use with this source and crop number, or kNoCrop.
int KelRamPara::findCropRecord(int source, int number) const
{
    if (number < 1)
        return kNoCrop;
    for (int k = 0; k < ram::kCrops; ++k) {
        const CROP_ITEM& c = ram_para.crop_list[k];
        if (cropInUse(c) && cropSource(c.key) == source && cropNumber(c.key) == number)
            return k;
    }
    return kNoCrop;
}

void KelRamPara::KelGetCropPara(int source, int n, CROP_PARA* out, int* index)
{
    const int k = findCropRecord(source, KelGetCropID(source, n));
    if (index)
        *index = k;
    if (k == kNoCrop || !out)
        return;
    const CROP_ITEM& c = ram_para.crop_list[k];
    *out = CROP_PARA{c.key, c.x, c.y, c.w, c.h};
}

void KelRamPara::KelSetCropPara(char source, char n, CROP_PARA* in)
{
    const int k = findCropRecord(source, KelGetCropID(source, n));
    if (k == kNoCrop || !in)
        return;
    QMutexLocker lock(&ApplyHandover::mutex);
    setCropRect(ram_para.crop_list[k], *in);
}

void KelRamPara::KelAddNewCrop(int source, CROP_PARA* in)
{
    const int number = KelAddCropID(source);
    if (number == 0 || !in) {
        KEL_DBG("\n[KelAddNewCrop] source %d has no free crop number\n", source);
        return;
    }
    QMutexLocker lock(&ApplyHandover::mutex);
    for (CROP_ITEM& c : ram_para.crop_list) {
        if (cropInUse(c))
            continue;
        c.key = static_cast<u16>(ram::kCropInUse | ((number - 1) << ram::kCropNumberShift) | source);
        setCropRect(c, *in);
        raiseApplyLocked(1);
        return;
    }
}

void KelRamPara::KelDeleteCrop(char source, char n)
{
    const int k = findCropRecord(source, KelGetCropID(source, n));
    if (k == kNoCrop)
        return;
    QMutexLocker lock(&ApplyHandover::mutex);
    ram_para.crop_list[k].key = 0;
    raiseApplyLocked(1);
}

bool KelRamPara::editCrop(int record, u16 key, const std::function<void(CROP_ITEM&)>& edit)
{
    if (record < 0 || record >= ram::kCrops)
        return false;
    QMutexLocker lock(&ApplyHandover::mutex);
    CROP_ITEM& c = ram_para.crop_list[record];
    if (c.key != key || !cropInUse(c))
        return false;
    const CROP_ITEM before = c;
    edit(c);
    if (std::memcmp(&before, &c, sizeof c) != 0)
        raiseApplyLocked(1);
    return true;
}

bool KelRamPara::rewriteCrop(int record, u16 key, const std::function<CROP_PARA(const CROP_PARA& held)>& rect)
{
    return editCrop(record, key, [&rect](CROP_ITEM& c) { setCropRect(c, rect(CROP_PARA{c.key, c.x, c.y, c.w, c.h})); });
}

bool KelRamPara::deleteCrop(int record, u16 key)
{
    return editCrop(record, key, [](CROP_ITEM& c) { c.key = 0; });
}

void KelRamPara::KelSetImageSource(int n, char source, char image)
{
    const int window = static_cast<u8>(image);
    if (window >= ram::kImages)
        return;
    u16 value;
    if (n == 0) {
        value = static_cast<u8>(source);
    } else {
        const int k = findCropRecord(source, KelGetCropID(source, n));
        value = (k == kNoCrop) ? ram::kSourceDvi : static_cast<u16>(ram::kSourceIsCrop | k);
    }
    QMutexLocker lock(&ApplyHandover::mutex);
    if (ram_para.image[window].source == value)
        return;
    ram_para.image[window].source = value;
    // The live picture no longer matches the user mode in use.
    if (ram_para.current_mode == ram_para_shadow.current_mode)
        ram_para.current_mode = 0;
    raiseApplyLocked(1);
}

void KelRamPara::setImageFlag(u16 flag)
{
    const u8 window = g_image_current.load();
    QMutexLocker lock(&ApplyHandover::mutex);
    if (window < ram::kImages)
        ram_para.image[window].flags ^= flag;
    raiseApplyLocked(1);
}

void KelRamPara::KelSetImageFreeze()
{
    const u8 window = g_image_current.load();
    const bool shown = window < ram::kImages && (ram_para.image[window].enable & ram::kImageShown);
    setImageFlag(shown ? ram::kFlagFreeze : 0);
}

void KelRamPara::KelSetImageBlack()
{
    setImageFlag(ram::kFlagBlack);
}

void KelRamPara::KelSetEDIDPara(int port, short width, short height, short rate)
{
    if (port < 0 || port >= ram::kEdidPorts)
        return;
    QMutexLocker lock(&ApplyHandover::mutex);
    EDID_PARA& e = ram_para.edid[port];
    e.width = static_cast<u16>(width);
    e.height = static_cast<u16>(height);
    e.rate = static_cast<u16>(rate);
    raiseApplyLocked(1);
}

int KelRamPara::KelSourceId_is_on(u8 device)
{
    const auto* live = reinterpret_cast<const u8*>(&ram_para);
    for (int i = 0; i < ram::kShownImages; ++i) {
        if (!(ram_para.image[i].enable & ram::kImageShown))
            continue;
        int crop;
        const int source = resolveSource(live, 0, i, &crop);
        const int mapped = (source >= ram::kSourceHdmi1 && source <= ram::kSourceHdmi3) ? source : 0;
        if (mapped == device)
            return 1;
    }
    return 0;
}

// ---------------------------------------------------------------- language

int KelRamPara::KelLanguageChanged()
{
    if (ram_para.language == ram_para_shadow.language)
        return 0;
    const u8 lang = static_cast<u8>(ram_para.language & 0xFF);
    g_language = lang;
    if (!languageEnabled(lang)) {
        const int first = firstEnabledLanguage();
        if (first >= 0) {
            QMutexLocker lock(&ApplyHandover::mutex);
            ram_para.language = static_cast<u16>(first);
            g_language = static_cast<u8>(first);
        }
    }
    return 1;
}

// ---------------------------------------------------------------- user modes

int KelRamPara::KelUserModeSaved(int i)
{
    return slotIndexValid(i) && markersAre(ram_user_mode[i], ram::kSlotSaved) ? 1 : 0;
}

int KelRamPara::KelUserModeIndex(char current, char direction)
{
    const int cur = static_cast<u8>(current);
    // Only slots 0-15 exist, whatever index the caller starts from.
    auto saved = [this](int i) { return KelUserModeSaved(i) == 1; };
    auto upFrom = [&](int from, int to) {
        for (int i = from < 0 ? 0 : from; i <= to && i < ram::kUserModes; ++i)
            if (saved(i))
                return i;
        return kNoSlot;
    };
    auto downFrom = [&](int from, int to) {
        for (int i = from >= ram::kUserModes ? ram::kUserModes - 1 : from; i >= to && i >= 0; --i)
            if (saved(i))
                return i;
        return kNoSlot;
    };
    const int last = ram::kUserModes - 1;
    switch (direction) {
    case kCurrentOrNext: {
        if (cur > ram::kUserModes)
            return kNoSlot;
        if (saved(cur))
            return cur;
        const int next = upFrom(cur + 1, last);
        return next != kNoSlot ? next : upFrom(0, cur);
    }
    case kNext: {
        if (cur > last)
            return kNoSlot;
        const int next = upFrom(cur + 1, last);
        return next != kNoSlot ? next : upFrom(0, cur);
    }
    case kPrevious: {
        if (cur == 0)
            return downFrom(last, 0);
        const int prev = downFrom(cur - 1, 0);
        if (prev != kNoSlot || cur > last)
            return prev;
        return downFrom(last, cur);
    }
    default: return kNoSlot;
    }
}

int KelRamPara::KelGetCurrentModeIndex()
{
    const u16 mode = ram_para.current_mode;
    return mode <= ram::kUserModes ? (mode & 0xFF) : 0;
}

bool KelRamPara::recallUserMode(int slot)
{
    if (KelUserModeSaved(slot) != 1)
        return false;
    QMutexLocker lock(&ApplyHandover::mutex);
    if (ram_para.current_mode == slot + 1 &&
        std::memcmp(bytesOf(ram_para) + ram::kUserModeStart, ram_user_mode[slot].data, ram::kUserModeSize) == 0)
        return true;
    std::memcpy(bytesOf(ram_para) + ram::kUserModeStart, ram_user_mode[slot].data, ram::kUserModeSize);
    ram_para.current_mode = static_cast<u16>(slot + 1);
    ram_para.mode_save_request = saveRequestShown();
    raiseApplyLocked(1);
    return true;
}

bool KelRamPara::takeSaveRequest(u16 mode)
{
    if (mode < 1 || mode > ram::kUserModes)
        return false;
    const int i = mode - 1;
    std::memcpy(kept_save_[i], bytesOf(ram_para) + ram::kUserModeStart, ram::kUserModeSize);
    kept_saves_ = static_cast<u16>(kept_saves_ | (1u << i));
    last_save_request_ = mode;
    ram_para.mode_save_request = mode;
    ram_para.current_mode = mode;
    return true;
}

void KelRamPara::takeSaveRequestWritten()
{
    const u16 written = ram_para.mode_save_request;
    if (takeSaveRequest(written))
        return;
    if (written != 0)
        KEL_DBG("\n[KelRamPara] save request %u has no user mode, ignored\n", written);
    ram_para.mode_save_request = saveRequestShown();
}

bool KelRamPara::handOverSave(int i, u8* data)
{
    if (!slotIndexValid(i) || !(kept_saves_ & (1u << i)))
        return false;
    std::memcpy(data, kept_save_[i], ram::kUserModeSize);
    kept_saves_ = static_cast<u16>(kept_saves_ & ~(1u << i));
    saving_ = static_cast<u16>(saving_ | (1u << i));
    return true;
}

void KelRamPara::saveRequestsDone()
{
    saving_ = 0;
    ram_para.mode_save_request = saveRequestShown();
}

std::string KelRamPara::modeFilePath(int i)
{
    return std::string(kModeDir) + "/custom_mode" + std::to_string(i + 1);
}

std::string KelRamPara::modeOverlayPath(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "/MO%02x.json", (i + 1) & 0xFF);
    return std::string(kModeDir) + name;
}

bool KelRamPara::writeFileSynced(const std::string& boxPath, const u8* data, size_t len)
{
    const bool ok = platform::writeFileAtomic(boxPath, data, len);
    const int why = errno;
    if (newFailure(boxPath, ok))
        KEL_DBG("\n[KelRamPara] writing %s failed (%s)\n", boxPath.c_str(), std::strerror(why));
    errno = why;
    return ok;
}

int KelRamPara::mode_file_deal(int i, int action)
{
    if (!slotIndexValid(i))
        return 0;
    USER_MODE_SLOT& slot = ram_user_mode[i];
    if (action == 1) {
        // A file still waiting to be written is given up with the mode, and
        // an overlay copy still being made is removed once made.
        if (overlay_copying_ & (1u << i))
            overlay_orphaned_ |= static_cast<u16>(1u << i);
        pending_modes_ &= static_cast<u16>(~(1u << i));
        pending_overlays_ &= static_cast<u16>(~(1u << i));
        pending_saves_ &= static_cast<u16>(~(1u << i));
        runShell(QString::fromStdString("rm  -rf  " + modeFilePath(i)));
        pauseUs(kShellPauseUs);
        if (ram::loadU16(slot.data + kSlotOsdEnable) == 1) {
            runShell(QString::fromStdString("rm  -rf  " + modeOverlayPath(i)));
            ram::storeU16(slot.data + kSlotOsdEnable, 0);
        }
        pauseUs(kShellPauseUs);
        runShell(QStringLiteral("sync"));
        pauseUs(kShellPauseUs);
    }
    // A file is replaced whole by a rename: it reads as the old or the new.
    std::string file;
    if (readModeFile(modeFilePath(i), file)) {
        std::memcpy(&slot, file.data(), ram::kSlotFileSize);
        tellUnsavedMode(modeFilePath(i), slot);
        runShell(QStringLiteral("sync"));
        pauseMs(kFilePauseMs);
        return 1;
    }
    slot.marker[0] = ram::kSlotEmpty;
    slot.marker[1] = ram::kSlotEmpty;
    return 0;
}

int KelRamPara::mode_file_write(int i, int mode)
{
    if (!slotIndexValid(i))
        return 0;
    // The file image is built first, so a failed write leaves the slot as it was.
    USER_MODE_SLOT image = ram_user_mode[i];
    if (mode == kWriteFromLive)
        std::memcpy(image.data, bytesOf(ram_para) + ram::kUserModeStart, ram::kUserModeSize);
    image.marker[0] = ram::kSlotSaved;
    image.marker[1] = ram::kSlotSaved;
    const bool withOverlay = mode == kWriteFilled && ram_para.osd_enable == 1;
    const bool markedByProtocol = mode != kWriteFilled && mode != kWriteFromLive;
    return writeModeImage(i, image, withOverlay, markedByProtocol ? kCommitWrite : kSaveWrite) ? 1 : 0;
}

bool KelRamPara::saveMode(int i, const u8* data)
{
    if (!slotIndexValid(i) || !data)
        return false;
    USER_MODE_SLOT image = ram_user_mode[i];
    std::memcpy(image.data, data, ram::kUserModeSize);
    image.marker[0] = ram::kSlotSaved;
    image.marker[1] = ram::kSlotSaved;
    // The overlay copy goes with a block that had the overlay on.
    return writeModeImage(i, image, ram::loadU16(data + kSlotOsdEnable) == 1, kSaveWrite);
}

// A user-mode file is its slot's file image, no more and no less: one of
// any other size (cut short, or grown) is refused whole, never taken in part.
bool KelRamPara::readModeFile(const std::string& boxPath, std::string& file)
{
    if (platform::readFileUpTo(boxPath, file, kModeFileSize) != platform::ReadResult::Read)
        return false;
    if (file.size() == kModeFileSize)
        return true;
    platform::refuseFile(boxPath, std::to_string(file.size()) + " bytes, not the " + std::to_string(kModeFileSize) +
                                      " of a user mode");
    return false;
}

// A user-mode file the box did not write (random bytes, another file) is
// loaded as every file is, but its slot does not count as saved: told on
// the console, naming the file.
void KelRamPara::tellUnsavedMode(const std::string& boxPath, const USER_MODE_SLOT& slot)
{
    if (markersAre(slot, ram::kSlotSaved))
        return;
    char what[96];
    std::snprintf(what, sizeof what, "no saved user mode (it starts 0x%02X 0x%02X, not 0x%02X 0x%02X)", slot.marker[0],
                  slot.marker[1], ram::kSlotSaved, ram::kSlotSaved);
    platform::refuseFile(boxPath, what);
}

bool KelRamPara::fileHolds(const std::string& boxPath, const USER_MODE_SLOT& image) const
{
    std::string file;
    return platform::readFileUpTo(boxPath, file, kModeFileSize) == platform::ReadResult::Read &&
           file.size() == kModeFileSize && std::memcmp(file.data(), &image, ram::kSlotFileSize) == 0;
}

bool KelRamPara::writeModeImage(int i, const USER_MODE_SLOT& image, bool withOverlay, ModeWrite by)
{
    // The overlay copy goes first, on the file-copy thread: the mode's file
    // follows once it is there, so a mode read back is never without it.
    if (withOverlay) {
        waitForFile(i, image, true, by);
        requestOverlayCopy(i);
        return false;
    }
    bool written;
    {
        platform::makeDirs(kModeDir);
        // A commit writes every saved slot again: one whose file already
        // holds it is saved even while nothing can be written. The look
        // at the file is one step with the write.
        platform::FileLock own(modeFilePath(i));
        written = writeFileSynced(modeFilePath(i), reinterpret_cast<const u8*>(&image), ram::kSlotFileSize) ||
                  fileHolds(modeFilePath(i), image);
    }
    if (!written) {
        waitForFile(i, image, false, by);
        return false;
    }
    // A save that lands shows in its slot at last. A commit's file that lands
    // late leaves the slot to whatever the PC wrote there since: a commit of
    // that is still to come.
    const u16 bit = static_cast<u16>(1u << i);
    if (by != kRetryWrite || (pending_saves_ & bit) || slotAwaits(i, image))
        ram_user_mode[i] = image;
    pending_modes_ &= static_cast<u16>(~bit);
    pending_overlays_ &= static_cast<u16>(~bit);
    pending_saves_ &= static_cast<u16>(~bit);
    return true;
}

// Slot i's file waits with `image` (and its overlay copy before it, with
// withOverlay): the slot stays as it was, and a slot the protocol marked
// saved itself (a commit) reads as unsaved until its file is written.
void KelRamPara::waitForFile(int i, const USER_MODE_SLOT& image, bool withOverlay, ModeWrite by)
{
    const u16 bit = static_cast<u16>(1u << i);
    pending_mode_[i] = image;
    pending_modes_ |= bit;
    pending_overlays_ = static_cast<u16>(withOverlay ? (pending_overlays_ | bit) : (pending_overlays_ & ~bit));
    if (by == kSaveWrite)
        pending_saves_ |= bit;
    if (by == kCommitWrite) {
        pending_saves_ &= static_cast<u16>(~bit);
        ram_user_mode[i].marker[0] = ram::kSlotUnsaved;
        ram_user_mode[i].marker[1] = ram::kSlotUnsaved;
    }
}

// Slot i still holds the commit whose file waits: its bytes, marked as not
// saved yet.
bool KelRamPara::slotAwaits(int i, const USER_MODE_SLOT& image) const
{
    const USER_MODE_SLOT& slot = ram_user_mode[i];
    return slot.marker[0] == ram::kSlotUnsaved && slot.marker[1] == ram::kSlotUnsaved &&
           std::memcmp(slot.data, image.data, ram::kUserModeSize) == 0;
}

// The overlay in use goes with the mode, copied whole like every file, on
// the file-copy thread. One copy of a slot at a time: a save or a
// deletion while it is made is taken up when it ends.
void KelRamPara::requestOverlayCopy(int i)
{
    const u16 bit = static_cast<u16>(1u << i);
    if (overlay_copying_ & bit) {
        overlay_redo_ |= bit;
        return;
    }
    overlay_copying_ |= bit;
    filecopy::post(kOverlayFile, modeOverlayPath(i), kOverlayFileLargest, this,
                   [this, i](filecopy::Result result) { overlayCopied(i, result); });
}

// GUI thread, once slot i's overlay copy ended. The save it was for lands
// now (its mode's file written), or waits on as a failed write does and
// is tried again with the files that wait. A copy for an image replaced
// meanwhile is made again, for the overlay as it is now; one for a mode
// deleted meanwhile goes with the mode.
void KelRamPara::overlayCopied(int i, filecopy::Result result)
{
    const u16 bit = static_cast<u16>(1u << i);
    const bool redo = overlay_redo_ & bit, orphaned = overlay_orphaned_ & bit;
    overlay_copying_ &= static_cast<u16>(~bit);
    overlay_redo_ &= static_cast<u16>(~bit);
    overlay_orphaned_ &= static_cast<u16>(~bit);
    const bool wanted = (pending_modes_ & bit) && (pending_overlays_ & bit);
    if (wanted && redo) {
        requestOverlayCopy(i);
        return;
    }
    if (!wanted && orphaned)
        runShell(QString::fromStdString("rm  -rf  " + modeOverlayPath(i)));
    if (wanted && result == filecopy::Result::NothingToCopy)
        KEL_DBG("\n[mode_file_write] %s unreadable, no overlay copy\n", kOverlayFile);
    if (wanted && result != filecopy::Result::Failed) {
        pending_overlays_ &= static_cast<u16>(~bit);
        const USER_MODE_SLOT image = pending_mode_[i];
        writeModeImage(i, image, false, kRetryWrite);
    }
    emit overlayCopyEnded(i);
}

bool KelRamPara::modeFilePending(int i) const
{
    return slotIndexValid(i) && (pending_modes_ & (1u << i)) != 0;
}

bool KelRamPara::saveWaits(int i) const
{
    return modeFilePending(i) && (pending_saves_ & (1u << i)) != 0;
}

bool KelRamPara::retryModeFiles()
{
    for (int i = 0; i < ram::kUserModes; ++i) {
        // A copy being made ends in its own time (overlayCopied).
        if (!modeFilePending(i) || (overlay_copying_ & (1u << i)))
            continue;
        const USER_MODE_SLOT image = pending_mode_[i];
        writeModeImage(i, image, (pending_overlays_ & (1u << i)) != 0, kRetryWrite);
    }
    return pending_modes_ == 0;
}

void KelRamPara::ram_para_reset()
{
    QMutexLocker lock(&ApplyHandover::mutex);
    recreateParaFile();
    ram_para_shadow = ram_para;
}
