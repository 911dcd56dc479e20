#pragma once
// Program download (CiA 302-3) to one node or many, as a job of steps (can/step_job.h). For each
// node: its product (0x1018:2), program identification (0x1F56:1) and software version (0x100A)
// as found; an image meant for another product, or of unknown product, is refused unless forced;
// then NMT pre-operational, program control stop and clear (0x1F51:1 = 0, 3), the image into
// program data (0x1F50:1) by block transfer, the flash status (0x1F57:1) awaited while bit 0 says
// busy, the identification checked against the image's CRC-32, program control start (1), the
// node's boot-up awaited, and product, identification and version read again.
//
// A node that fails a step is left as the step left it, and said so; the others go on. The
// runner's cancel ends at once and says what the node in hand was left with (a cleared program
// above all); stop_after_node() lets the node in hand finish first. A lost bus ends the job.
//
// The image and its sidecar: objects/firmware_image.h.
#include "can/step_job.h"
#include "canopen/sdo_client.h"
#include "objects/dcf_job.h"
#include "objects/firmware_image.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace objects {

struct firmware_report {
    enum class result { not_reached, updated, refused, failed, no_answer, bus_lost, cancelled };
    int node = 0;
    QString product;
    QString before_id;
    QString after_id;
    QString before_version;
    QString after_version;
    QDateTime started;
    QDateTime ended;
    result outcome = result::not_reached;
    QString note;
};
QString firmware_result_text(firmware_report::result r);
// The report as CSV, one line per node, with a heading line.
QString firmware_report_csv(const firmware_image &image, const std::vector<firmware_report> &rows);

class firmware_job : public step_job {
public:
    firmware_job(const firmware_image &image, const std::vector<int> &nodes, const dcf_wire &wire, bool force,
                 std::function<void(const firmware_job &, bool cancelled)> end = {});

    bool step() override;
    void cancel() override;
    void ended(bool cancelled) override;
    // Bytes of every node's image, done of total.
    int done() const override;
    int total() const override;
    void stop_after_node() { stop_ = true; }

    const std::vector<firmware_report> &reports() const { return reports_; }
    int updated() const;
    bool bus_lost() const { return lost_; }

private:
    enum class phase {
        product, before_id, before_version, pre_operational, stop, clear, data, flash, check, start, boot, after_product,
        after_id, after_version
    };

    bool run_transfer(const canopen::sdo_transfer &start);
    void begin_node();
    void finish_node(firmware_report::result r, const QString &note = QString());
    // A transfer failed at the step named what: the node is left, told why.
    void step_failed(const QString &what);
    QString left_with() const;
    int node() const { return nodes_[at_]; }
    void next(phase p);

    firmware_image image_;
    std::vector<int> nodes_;
    dcf_wire wire_;
    bool force_;
    std::function<void(const firmware_job &, bool)> end_;
    std::vector<firmware_report> reports_;
    size_t at_ = 0;
    phase phase_ = phase::product;
    std::optional<canopen::sdo_transfer> transfer_;
    canopen::sdo_outcome outcome_;
    QElapsedTimer waited_;      // the flash or the boot-up, since the wait began
    QElapsedTimer since_poll_;
    int reboots_before_ = 0;
    bool stop_ = false;
    bool lost_ = false;
    bool cleared_ = false;  // the node in hand has no program now
    bool stopped_ = false;  // its program is stopped
};

}  // namespace objects
