// The control window's commissioning sequence, frame for frame as the window sends it, run
// through the CANopen exchange against the in-process simulated joint for every mode page:
// each checked step must get its answer, every SDO write must be confirmed (not aborted),
// and the drive must end up enabled and follow the page's motion command.
#include "app/shared_values.h"
#include "can/adapter.h"
#include "can/vci/vci.h"
#include "canopen/canopen_exchange.h"
#include "canopen/canopen_frames.h"
#include "canopen/control_canopen.h"
#include "sim/sim_clock.h"
#include "sim/simulator.h"
#include "support/test_bus.h"

#include <QtTest>

using namespace test_support;

namespace {

enum page { pp, pv, pt, csp, csv, cst, ip };
const uint8_t mode_of_page[] = {1, 3, 4, 8, 9, 10, 7};

}  // namespace

class test_sim_canopen_sequence : public QObject {
    Q_OBJECT

private:
    control_CANopen *window = nullptr;
    int32_t hold_position = 0;

    bool exchange(const canopen::frame &f) { return window->canopen_exchange(f.id, f.data, f.len, QString(), 1); }
    // An SDO write the node confirmed: the download response carries zeros in bytes 4-7,
    // an abort its code.
    bool confirmed_write(uint16_t index, uint8_t sub, uint32_t value, int size)
    {
        reply_value = -1;
        return exchange(canopen::sdo_download(sdo_request_id, index, sub, value, size)) && reply_value == 0;
    }
    sim::canopen_node &node() { return *sim::simulator::instance().find(1)->canopen(); }
    sim::motor_model &motor() { return sim::simulator::instance().find(1)->motor(); }

    void run_sequence(page p)
    {
        // Stop and reset the node; the reset is answered by the boot-up.
        exchange(canopen::nmt(canopen::nmt_stop, sdo_request_id));
        QCOMPARE(node().state(), sim::canopen_node::nmt_state::stopped);
        QVERIFY(exchange(canopen::nmt(canopen::nmt_reset_communication, sdo_request_id)));
        QCOMPARE(reply_value, 0);

        QVERIFY(confirmed_write(0x6060, 0, mode_of_page[p], 1));
        QVERIFY(exchange(canopen::sdo_upload(sdo_request_id, 0x6061, 0)));
        QCOMPARE(reply_value, int32_t(mode_of_page[p]));

        if (p == pp || p == csp || p == ip) {
            QVERIFY(confirmed_write(0x6081, 0, 2000, 4));
            QVERIFY(confirmed_write(0x6083, 0, 20000, 4));
            QVERIFY(confirmed_write(0x6084, 0, 20000, 4));
        } else if (p == pv) {
            QVERIFY(confirmed_write(0x60FF, 0, 0, 4));
            QVERIFY(confirmed_write(0x6083, 0, 20000, 4));
            QVERIFY(confirmed_write(0x6084, 0, 20000, 4));
        } else if (p == csv) {
            QVERIFY(confirmed_write(0x6083, 0, 20000, 4));
            QVERIFY(confirmed_write(0x6084, 0, 20000, 4));
        }
        QVERIFY(confirmed_write(0x1005, 0, 0x80, 4));
        QVERIFY(confirmed_write(0x1006, 0, uint32_t(comm_cycle_us), 4));

        // TPDO 1.
        QVERIFY(confirmed_write(0x1800, 1, canopen::tpdo1_cob_invalid(sdo_request_id), 4));
        QVERIFY(confirmed_write(0x1800, 2, 1, 1));
        if (p == pv) {
            QVERIFY(confirmed_write(0x1800, 3, 300, 2));
            QVERIFY(confirmed_write(0x1800, 5, 0, 2));
        }
        QVERIFY(confirmed_write(0x1A00, 0, 0, 1));
        QVERIFY(confirmed_write(0x1A00, 1, 0x60410010, 4));
        const uint32_t second_tx = (p == pp || p == csp || p == ip) ? 0x60640020 : (p == pv || p == csv) ? 0x606C0020 : 0x60770010;
        QVERIFY(confirmed_write(0x1A00, 2, second_tx, 4));
        if (p == cst)
            QVERIFY(confirmed_write(0x1A00, 3, 0x60780010, 4));
        QVERIFY(confirmed_write(0x1A00, 0, p == cst ? 3 : 2, 1));
        QVERIFY(confirmed_write(0x1800, 1, canopen::tpdo1_cob_valid(sdo_request_id), 4));

        // RPDO 1.
        QVERIFY(confirmed_write(0x1400, 1, canopen::rpdo1_cob_invalid(sdo_request_id), 4));
        QVERIFY(confirmed_write(0x1400, 2, 1, 1));
        QVERIFY(confirmed_write(0x1600, 0, 0, 1));
        QVERIFY(confirmed_write(0x1600, 1, 0x60400010, 4));
        if (p == ip) {
            QVERIFY(confirmed_write(0x1600, 2, 0x60C10110, 4));
            QVERIFY(confirmed_write(0x1600, 3, 0x60C10210, 4));
        } else {
            const uint32_t second_rx = (p == pp || p == csp) ? 0x607A0020 : (p == pv || p == csv) ? 0x60FF0020 : 0x60710010;
            QVERIFY(confirmed_write(0x1600, 2, second_rx, 4));
        }
        QVERIFY(confirmed_write(0x1600, 0, p == ip ? 3 : 2, 1));
        QVERIFY(confirmed_write(0x1400, 1, canopen::rpdo1_cob_valid(sdo_request_id), 4));

        // Start, then the guarding request must be answered.
        exchange(canopen::nmt(canopen::nmt_start, sdo_request_id));
        remote_request = 1;
        const bool guarded = exchange(canopen::guarding_request(sdo_request_id));
        remote_request = 0;
        QVERIFY(guarded);
        QCOMPARE(node().state(), sim::canopen_node::nmt_state::operational);

        // The first SYNC is answered by TPDO 1.
        QVERIFY(exchange(canopen::sync()));
        if (p == csp || p == ip) {
            QVERIFY(exchange(canopen::sdo_upload(sdo_request_id, 0x6064, 0)));
            hold_position = reply_value;
        }

        // Enable: four control words, each applied at the SYNC that follows it.
        const int32_t sp = (p == csp || p == ip) ? hold_position : 0;
        for (uint16_t cw : {0x0080, 0x0006, 0x0007}) {
            exchange(canopen::rpdo1(sdo_request_id, cw, 0));
            QVERIFY(exchange(canopen::sync()));
        }
        exchange(canopen::rpdo1(sdo_request_id, 0x000F, sp));
        QVERIFY(exchange(canopen::sync()));
        QCOMPARE(node().power(), sim::canopen_node::power_state::operation_enabled);
        QVERIFY(motor().enabled());
    }

    void step_time(double s)
    {
        sim::clock::advance_us(static_cast<int64_t>(s * 1e6));
        exchange(canopen::sdo_upload(sdo_request_id, 0x6041, 0));
    }
    int32_t read(uint16_t index)
    {
        if (!exchange(canopen::sdo_upload(sdo_request_id, index, 0)))
            return INT32_MIN;
        return reply_value;
    }

private slots:
    void initTestCase() { sim::clock::set_manual(true); }

    void init()
    {
        CloseDevice(3, 0);
        reset_shared_values();
        remote_request = 0;
        sim::simulator::instance().configure({{1, 10231}});
        install_simulated_bus();
        open_adapter();
        QCOMPARE(adapter_error, 0);
        device_open = 1;
        node_id = 1;
        sdo_request_id = 0x601;
        comm_cycle_us = 1000;
        window = new control_CANopen();
    }
    void cleanup()
    {
        delete window;
        window = nullptr;
        CloseDevice(3, 0);
        uninstall_bus();
    }

    void profile_position_page()
    {
        run_sequence(pp);
        exchange(canopen::rpdo1(sdo_request_id, 0x001F, 1500));
        QVERIFY(exchange(canopen::sync()));
        step_time(3);
        QCOMPARE(read(0x6064), 1500);
        // Disable, as the page's button does.
        exchange(canopen::rpdo1(sdo_request_id, 0x0006, 0));
        exchange(canopen::sync());
        QVERIFY(!motor().enabled());
    }

    void profile_velocity_page()
    {
        run_sequence(pv);
        exchange(canopen::rpdo1(sdo_request_id, 0x002F, -700));
        exchange(canopen::sync());
        step_time(1);
        QCOMPARE(read(0x606C), -700);
        exchange(canopen::rpdo1(sdo_request_id, 0x002F, 0));
        exchange(canopen::sync());
        step_time(1);
        QCOMPARE(read(0x606C), 0);
    }

    void profile_torque_page()
    {
        run_sequence(pt);
        exchange(canopen::rpdo1(sdo_request_id, 0x002F, 200));
        exchange(canopen::sync());
        QCOMPARE(read(0x6078) & 0xFFFF, 200);
        // The page's Disable sends control word 1: voltage off.
        exchange(canopen::rpdo1(sdo_request_id, 0x0001, 0));
        exchange(canopen::sync());
        QCOMPARE(node().power(), sim::canopen_node::power_state::switch_on_disabled);
    }

    void cyclic_position_page()
    {
        motor().set_position(5000);
        run_sequence(csp);
        QCOMPARE(hold_position, 5000);
        QCOMPARE(read(0x6064), 5000);  // enabling at the held position does not jump
        exchange(canopen::rpdo1(sdo_request_id, 0x002F, 6000));
        exchange(canopen::sync());
        QCOMPARE(read(0x6064), 6000);
        QCOMPARE(read(0x603F), 0);
    }

    void cyclic_velocity_and_torque_pages()
    {
        run_sequence(csv);
        exchange(canopen::rpdo1(sdo_request_id, 0x002F, 400));
        exchange(canopen::sync());
        step_time(1);
        QCOMPARE(read(0x606C), 400);

        // Changing the mode means running the whole sequence again, from a running node.
        run_sequence(cst);
        exchange(canopen::rpdo1(sdo_request_id, 0x002F, -100));
        exchange(canopen::sync());
        QCOMPARE(int16_t(read(0x6078)), int16_t(-100));
    }

    void interpolated_position_page()
    {
        motor().set_position(-200);
        run_sequence(ip);
        QCOMPARE(hold_position, -200);
        exchange(canopen::rpdo1(sdo_request_id, 0x001F, 70000));
        exchange(canopen::sync());
        step_time(60);
        QCOMPARE(read(0x6064), 70000);
    }

    void second_run_of_a_page_after_a_fault()
    {
        run_sequence(pp);
        node().inject_fault(0x7121);
        QCOMPARE(read(0x603F), 0x7121);
        run_sequence(pp);  // its enable starts with the fault reset
        QCOMPARE(read(0x603F), 0);
    }
};

QTEST_MAIN(test_sim_canopen_sequence)
#include "test_sim_canopen_sequence.moc"
