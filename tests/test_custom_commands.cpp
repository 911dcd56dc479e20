// The custom-protocol command set as data: every request's bytes, DLC, description and log flag,
// and the conversion of typed numbers.
#include "custom_protocol/custom_commands.h"

#include <QtTest>
#include <limits>

namespace {

QByteArray bytes_of(const custom_request &r) { return QByteArray(reinterpret_cast<const char *>(r.data), r.length); }

}  // namespace

class test_custom_commands : public QObject {
    Q_OBJECT

private slots:
    void every_request_has_its_frame_description_and_log_flag_data();
    void every_request_has_its_frame_description_and_log_flag();
    void typed_numbers_convert_as_base_10_int32_or_zero();
    void derived_values_never_overflow();
};

void test_custom_commands::every_request_has_its_frame_description_and_log_flag_data()
{
    QTest::addColumn<QByteArray>("actual");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("actual_log");
    QTest::addColumn<int>("log");
    QTest::addColumn<QString>("actual_description");

    auto row = [](const char *name, const custom_request &r, const char *hex, const QString &description, int log) {
        QTest::newRow(name) << bytes_of(r) << QByteArray::fromHex(hex) << description << r.log << log << r.description;
    };

    // Reads: register index alone, silent; the poll's own descriptions travel unlogged.
    row("read position", read_actual_position(QStringLiteral("读取当前位置")), "0002", QStringLiteral("读取当前位置"), 0);
    row("read speed", read_actual_speed(QStringLiteral("读取实际速度")), "00050001", QStringLiteral("读取实际速度"), 0);
    row("read firmware number", read_firmware_number(), "00010004", QString(), 0);
    row("save parameters", save_parameters(), "00E8", QString(), 0);
    row("read current", read_actual_current(), "0008", QString(), 0);
    row("read error", read_error_code(QStringLiteral("获取错误码")), "001F", QStringLiteral("获取错误码"), 0);
    row("read motion state", read_motion_state(), "0020", QString(), 0);
    row("read profile speed", read_profile_speed(), "008A", QString(), 0);
    row("read acceleration", read_profile_acceleration(), "0088", QString(), 0);
    row("read deceleration", read_profile_deceleration(), "0089", QString(), 0);

    row("torque mode", write_control_mode(1), "004E00000001", QStringLiteral("设置模式为力矩控制\nMoment control"), 1);
    row("speed mode", write_control_mode(2), "004E00000002", QStringLiteral("设置模式为速度控制\nSpeed control"), 1);
    row("position mode is silent", write_control_mode(3), "004E00000003", QString(), 0);

    row("start forward", write_start_motion(start_kind::forward), "0083", QStringLiteral("开始正向运动\nForward"), 1);
    row("start backwards", write_start_motion(start_kind::backwards), "0083", QStringLiteral("开始反向运动\nBackwards"), 1);
    row("start", write_start_motion(start_kind::motion), "0083", QStringLiteral("开始运动\nMotion"), 1);
    row("stop", write_stop_motion(), "0084", QStringLiteral("停止运动\nStop"), 1);

    row("move to", write_target_position(QStringLiteral("2000")), "0086000007D0",
        QStringLiteral("运动至2000cnt\nMove to 2000cnt"), 1);
    row("distance forward as typed", write_relative_distance(QStringLiteral("+1000"), false), "0087000003E8",
        QStringLiteral("设置运动距离为+1000cnt\nSet the distance to+1000cnt"), 1);
    row("distance backwards as sent", write_relative_distance(QStringLiteral("1000"), true), "0087FFFFFC18",
        QStringLiteral("设置运动距离为-1000cnt\nSet the distance to-1000cnt"), 1);
    row("backwards of a negative distance", write_relative_distance(QStringLiteral("-25"), true), "008700000019",
        QStringLiteral("设置运动距离为25cnt\nSet the distance to25cnt"), 1);
    row("distance zero", write_relative_distance_zero(), "008700000000",
        QStringLiteral("相对位置置0\nThe relative position is set to 0"), 1);

    row("acceleration", write_profile_acceleration(QStringLiteral("10000")), "008800002710",
        QStringLiteral("设置加速度为10000cnt/s²\nSet acceleration to 10000cnt/s²"), 1);
    row("deceleration", write_profile_deceleration(QStringLiteral("500")), "0089000001F4",
        QStringLiteral("设置减速度为500cnt/s²\nSet deceleration to 500cnt/s²"), 1);
    row("speed from Apply", write_profile_speed(QStringLiteral("3000")), "008A00000BB8",
        QStringLiteral("设置速度为3000cnt/s\nSet speed to 3000cnt/s"), 1);
    row("speed abc sends 0, described as typed", write_profile_speed(QStringLiteral("abc")), "008A00000000",
        QStringLiteral("设置速度为abccnt/s\nSet speed to abccnt/s"), 1);
    row("continuous forward of a negative speed", write_continuous_speed(QStringLiteral("-3000"), false), "008A00000BB8",
        QStringLiteral("设置速度\nSet speed"), 1);
    row("continuous backwards", write_continuous_speed(QStringLiteral("3000"), true), "008AFFFFF448",
        QStringLiteral("设置速度\nSet speed"), 1);

    row("continuous mode", write_motion_mode(0), "008D00000000", QStringLiteral("设置持续运动模式\nSet continuous motion mode"), 1);
    row("single mode", write_motion_mode(1), "008D00000001", QStringLiteral("设置不带往返运动模式\nUnidirectional motion"), 1);
    row("repetitive mode", write_motion_mode(2), "008D00000002", QStringLiteral("设置带往返运动模式\nRepetitive"), 1);

    row("enable", write_enable_state(true), "010000000001", QStringLiteral("使能\nEnable"), 1);
    row("disable", write_enable_state(false), "010000000000", QStringLiteral("失能\nDisable"), 1);
    row("control source", write_control_source(), "011200000000",
        QStringLiteral("设置控制源为不使用\nSet the control source is not used"), 1);
    row("analog source", write_analog_source(), "01FD00000000",
        QStringLiteral("设置模拟量为内部使用\nSet the analog quantity for internal use"), 1);
    row("target current 500", write_target_current(QStringLiteral("500")), "01FE000001F4",
        QStringLiteral("设置目标电流为500mA\nSet target current to500mA"), 1);
    row("target speed", write_target_speed(QStringLiteral("10000")), "01FE00002710",
        QStringLiteral("设置目标速度为10000cnt/s\nSet target speed to10000cnt/s"), 1);
    row("analog stop", write_analog_stop(), "01FE00000000", QStringLiteral("停止\nStop"), 1);
    row("max speed 10000", write_max_speed_limit(QStringLiteral("10000")), "020400002710",
        QStringLiteral("设置最大速度限制为10000cnt/s\nSet the maximum speed limit to10000cnt/s"), 1);
}

void test_custom_commands::every_request_has_its_frame_description_and_log_flag()
{
    QFETCH(QByteArray, actual);
    QFETCH(QByteArray, expected);
    QFETCH(QString, description);
    QFETCH(int, actual_log);
    QFETCH(int, log);
    QFETCH(QString, actual_description);
    QCOMPARE(actual.toHex(' ').toUpper(), expected.toHex(' ').toUpper());
    QCOMPARE(actual_description, description);
    QCOMPARE(actual_log, log);
}

void test_custom_commands::typed_numbers_convert_as_base_10_int32_or_zero()
{
    QCOMPARE(custom_value_from_text(QStringLiteral("1000")), 1000);
    QCOMPARE(custom_value_from_text(QStringLiteral("-1000")), -1000);
    QCOMPARE(custom_value_from_text(QStringLiteral("2147483647")), 2147483647);
    QCOMPARE(custom_value_from_text(QStringLiteral("-2147483648")), std::numeric_limits<int32_t>::min());
    // Not numbers, or numbers that do not fit: 0.
    QCOMPARE(custom_value_from_text(QStringLiteral("abc")), 0);
    QCOMPARE(custom_value_from_text(QString()), 0);
    QCOMPARE(custom_value_from_text(QStringLiteral("12abc")), 0);
    QCOMPARE(custom_value_from_text(QStringLiteral("0x10")), 0);
    QCOMPARE(custom_value_from_text(QStringLiteral("1.5")), 0);
    QCOMPARE(custom_value_from_text(QStringLiteral("2147483648")), 0);
    QCOMPARE(custom_value_from_text(QStringLiteral("-2147483649")), 0);
    // Base 10 even with a leading zero.
    QCOMPARE(custom_value_from_text(QStringLiteral("010")), 10);
}

void test_custom_commands::derived_values_never_overflow()
{
    // The most negative int32 has no positive counterpart; a derived value must still point the
    // way the button says instead of wrapping round to the opposite direction.
    int32_t sent = 0;
    const custom_request forward = write_continuous_speed(QStringLiteral("-2147483648"), false, &sent);
    QCOMPARE(sent, std::numeric_limits<int32_t>::max());
    QCOMPARE(bytes_of(forward).toHex().toUpper(), QByteArray("008A7FFFFFFF"));
    write_continuous_speed(QStringLiteral("-2147483648"), true, &sent);
    QVERIFY(sent < 0);

    const custom_request back = write_relative_distance(QStringLiteral("-2147483648"), true);
    QCOMPARE(bytes_of(back).toHex().toUpper(), QByteArray("00877FFFFFFF"));
    QVERIFY(back.description.startsWith(QStringLiteral("设置运动距离为2147483647cnt")));
}

QTEST_APPLESS_MAIN(test_custom_commands)
#include "test_custom_commands.moc"
