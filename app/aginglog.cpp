#include "app/aginglog.h"

#include "fpga/fpga_manage.h"
#include "registers/fpga_regs.h"

#include <QStringList>

int factoryage_log_diff3 = boxstate::startValue(factoryage_log_diff3, 0);
int factoryage_log_diff5 = boxstate::startValue(factoryage_log_diff5, 0);
int factoryage_log_diff10 = boxstate::startValue(factoryage_log_diff10, 0);
int factoryage_log_diff20 = boxstate::startValue(factoryage_log_diff20, 0);
int factoryage_log_diffmore = boxstate::startValue(factoryage_log_diffmore, 0);

namespace {

constexpr int kCounterField = 2;  // register 42 is the third field of a line

// Register 42 of a line; false when the line does not hold a number there.
bool counterOf(const QString& line, int* value)
{
    const QStringList fields = line.split(QLatin1Char(' '));
    if (fields.size() <= kCounterField)
        return false;
    bool ok = false;
    *value = fields[kCounterField].toInt(&ok, 10);
    return ok;
}

void countGrowth(int growth)
{
    if (growth <= 0)
        return;
    if (growth < 3)
        ++factoryage_log_diff3;
    else if (growth < 5)
        ++factoryage_log_diff5;
    else if (growth < 10)
        ++factoryage_log_diff10;
    else if (growth < 20)
        ++factoryage_log_diff20;
    else
        ++factoryage_log_diffmore;
}

}  // namespace

QString agingTimeStamp(const platform::LocalTime& when)
{
    constexpr int kDigits = 2, kDecimal = 10;
    if (!when.known)
        return QStringLiteral("----- --:--");  // the clock could not be read
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, kDigits, kDecimal, QLatin1Char('0')); };
    return two(when.month) + QLatin1Char('-') + two(when.day) + QLatin1Char(' ') + two(when.hour) + QLatin1Char(':') +
           two(when.minute);
}

bool agingSampleAllowed()
{
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    return fpga && pc_cmd_valid.load() == 0 && fpga->get_fpga_status() != 0;
}

bool readAgingRegisters(AgingRegisters* out)
{
    fpga_manage* fpga = fpga_manage::p_fpga_manage;
    if (!fpga)
        return false;
    constexpr u8 kFpga0 = 0;
    fpga->read_from_register(fpga::reg::kAgeStatus, kFpga0);
    fpga->read_from_register(fpga::reg::kAgeCounter, kFpga0);
    fpga->read_from_register(fpga::reg::kAgeStatus2, kFpga0);
    const u8* image = fpga->MCU_REG_func[kFpga0];
    out->r42 = image[fpga::reg::kAgeCounter];
    out->r40 = image[fpga::reg::kAgeStatus];
    out->r43 = image[fpga::reg::kAgeStatus2];
    return true;
}

void appendAgingSample(const QString& stamp, const AgingRegisters& regs)
{
    factoryage_log.append(QStringLiteral("%1 %2 %3 %4").arg(stamp).arg(regs.r42).arg(regs.r40).arg(regs.r43));
    while (factoryage_log.size() > kAgingLogMaxLines)
        factoryage_log.removeFirst();
    const int n = factoryage_log.size();
    if (n < 2)
        return;
    int previous = 0, current = 0;
    if (!counterOf(factoryage_log[n - 2], &previous) || !counterOf(factoryage_log[n - 1], &current))
        return;
    if (current < previous)
        current += 256;
    countGrowth(current - previous);
}
