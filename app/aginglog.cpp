#include "app/aginglog.h"

#include "fpga/fpga_manage.h"

#include <QStringList>

int factoryage_log_diff3 = 0;
int factoryage_log_diff5 = 0;
int factoryage_log_diff10 = 0;
int factoryage_log_diff20 = 0;
int factoryage_log_diffmore = 0;

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

QString agingTimeStamp(const QDateTime& when)
{
    return when.toString(QStringLiteral("MM-dd hh:mm"));
}

bool agingSampleAllowed()
{
    if (!fpga_manage::p_fpga_manage || pc_cmd_valid.load() != 0)
        return false;
    // FPGA manager: p_fpga_manage->get_fpga_status() decides here once it lands.
    return false;
}

bool readAgingRegisters(AgingRegisters* out)
{
    if (!fpga_manage::p_fpga_manage)
        return false;
    // FPGA manager: read_from_register(40, 0), (42, 0), (43, 0) and MCU_REG_func of FPGA 0 once it lands.
    (void)out;
    return false;
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
