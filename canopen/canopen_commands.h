#pragma once
// What the command column and the mode pages send, free of widgets: the mode values, the
// PDO mapping sequences per page, the log texts and the small conversions of the window.
#include "canopen/canopen_frames.h"
#include "canopen/cia402.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace canopen {

// Page order of the mode selector and the page stack.
enum page_index : int32_t { page_pp = 0, page_pv, page_pt, page_csp, page_csv, page_cst, page_ip };
constexpr int32_t page_count = 7;

struct step {
    frame f;
    QString description;
};

// The mode of each page of the mode selector (nullptr for a page outside 0-6); everything the
// window does per page that depends on the mode comes from here.
const mode_info *find_page_mode(int32_t page);

// Value for 0x6060 (1, 3, 4, 8, 9, 10, 7); 0 for a page outside 0-6.
uint8_t mode_value(int32_t page);
// "设置为轮廓位置模式\nStarting the operating mode": the mode's Chinese name.
QString mode_log_text(int32_t page);
// Pages whose command column writes the profile parameters (and so has a Set_velocity step):
// those whose mode sets a position or a velocity.
bool page_sets_velocity(int32_t page);
// Pages that hold a position set-point from the actual position when SYNC starts: the cyclic
// position modes, whose first set-point must be where the joint stands.
bool page_holds_position(int32_t page);

std::vector<step> tpdo_map_steps(int32_t page, int32_t sdo_request_id);
std::vector<step> rpdo_map_steps(int32_t page, int32_t sdo_request_id);

// Log texts of the profile writes; v is the value as text (a number, or what the user typed).
QString speed_text(const QString &v);
// The PP page's Apply writes "Set speed to" without the space.
QString speed_text_unspaced(const QString &v);
QString acceleration_text(const QString &v);
QString deceleration_text(const QString &v);

// A field's text as a base-10 signed 32-bit value; anything else gives 0.
int32_t field_value(const QString &text);

// The CSP move may go at most 1000 cnt from the last accepted target. The distance is taken
// in 64 bits: positions near the ends of the 32-bit range must not wrap into the window.
bool csp_move_allowed(int32_t reference, int32_t target);

// Low 16 bits of a reply taken as signed.
int32_t low16_signed(int32_t value);
// Current in mA from the per-mille current and the rated current (both 16-bit signed);
// a failed read counts as 0.
int32_t current_milliamps(bool current_ok, int32_t current_reply, bool rated_ok, int32_t rated_reply);

}  // namespace canopen
