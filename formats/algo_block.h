// The algorithm parameter block of the base controller's model configuration
// record, in its two forms. Declared once for the library and the simulator.
//
// Host form (at byte 1024 of the model configuration record): a 4-byte header,
// then 767 float slots; slot n holds the parameter that "algo_param_def"
// numbers n.
// Device form (inside device records of versions 0x101 and 0x102): the same
// header, then the fields of the block version's field list, 4 bytes each,
// f32 or i32, little-endian. Each block version's list is the previous one's
// with fields appended; none is dropped or reordered.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>

#include "formats/layout.h"

namespace ryn::devinfo {

struct AlgoBlock {
    static constexpr layout::Field length{"length", 0, 2};
    static constexpr layout::Field minor{"minor version", 2, 1};
    static constexpr layout::Field major{"major version", 3, 1};
    static constexpr size_t first_value = 4;  // offset of slot 0 / field 0
    static constexpr size_t value_width = 4;

    static constexpr size_t host_slots = 767;
    static constexpr size_t host_size = first_value + value_width * host_slots;  // 3072 bytes
    static constexpr uint16_t device_length = 1024;  // length the writing mapping stores

    static constexpr layout::Field fields[] = {length, minor, major};

    // Offset of host slot n or device field k, and the 4-byte field there.
    static constexpr size_t value_offset(size_t index) { return first_value + value_width * index; }
    static constexpr layout::Field value(size_t index) {
        return {"value", value_offset(index), value_width};
    }
    // Block version: major × 256 + minor.
    static uint16_t version(std::span<const uint8_t> block) {
        return static_cast<uint16_t>(major.get(block) << 8 | minor.get(block));
    }
};
static_assert(layout::well_formed(AlgoBlock::fields, AlgoBlock::host_size));
static_assert(AlgoBlock::host_size == 3072);

enum class AlgoFieldType : uint8_t { f32, i32 };

struct AlgoField {
    std::u16string_view name;
    AlgoFieldType type;
};

// The fields of block version 0x104 in device order; the earlier versions use
// a prefix of it (kAlgoVersions).
inline constexpr AlgoField kAlgoFields[] = {
    // Block version 0x101 (fields 0 to 88)
    {u"x_real_dim", AlgoFieldType::f32},
    {u"y_real_dim", AlgoFieldType::f32},
    {u"jig_rad_in_mm", AlgoFieldType::f32},
    {u"finger_split_lo_thr_in_mm", AlgoFieldType::f32},
    {u"finger_split_hi_thr_in_mm", AlgoFieldType::f32},
    {u"w_fail_thr_in_mm", AlgoFieldType::f32},
    {u"h_fail_thr_in_mm", AlgoFieldType::f32},
    {u"hold_thr_in_mm", AlgoFieldType::f32},
    {u"waiting_count_thr", AlgoFieldType::i32},
    {u"screen_height_ratio_thr1", AlgoFieldType::f32},
    {u"screen_height_ratio_thr2", AlgoFieldType::f32},
    {u"screen_height_ratio_thr3", AlgoFieldType::f32},
    {u"screen_width_ratio_thr1", AlgoFieldType::f32},
    {u"screen_width_ratio_thr2", AlgoFieldType::f32},
    {u"disOne_thr_in_times_w_f_thr", AlgoFieldType::f32},
    {u"diff_len_thr", AlgoFieldType::i32},
    {u"dt_oo_l_r_ratio_thr", AlgoFieldType::f32},
    {u"dt_oo_l_r_pix_thr", AlgoFieldType::i32},
    {u"dt_oo_dist_r_thr_in_mm", AlgoFieldType::f32},
    {u"dt_trans_wait_count_thr", AlgoFieldType::i32},
    {u"ot_cheat_fail_ratio_in_times_f_thr", AlgoFieldType::f32},
    {u"ot_box_range_in_times_f_thr", AlgoFieldType::f32},
    {u"dt_cheat_fail_ratio_in_times_f_thr", AlgoFieldType::f32},
    {u"dt_box_range_in_times_f_thr", AlgoFieldType::f32},
    {u"ot_obj_len_adj_thr", AlgoFieldType::i32},
    {u"ot_obj_len_cen_adj_ratio", AlgoFieldType::f32},
    {u"dis01_thr_in_times_w_f_thr", AlgoFieldType::f32},
    {u"dt_box_checking_ok_thr", AlgoFieldType::i32},
    {u"dt_box_adj_ratio_in_times_w_f_thr", AlgoFieldType::f32},
    {u"dt_bottom_gap_match_sel_thr_in_mm", AlgoFieldType::f32},
    {u"vector_similar_thr", AlgoFieldType::f32},
    {u"demerge_ini_ratio", AlgoFieldType::f32},
    {u"smooth_const_in_mm", AlgoFieldType::f32},
    {u"smooth_alpha_lo", AlgoFieldType::f32},
    {u"smooth_alpha_hi", AlgoFieldType::f32},
    {u"range_10_1_10_2_in_mm", AlgoFieldType::f32},
    {u"smooth_alpha_10_1", AlgoFieldType::f32},
    {u"smooth_alpha_10_2", AlgoFieldType::f32},
    {u"smooth_alpha_9_1", AlgoFieldType::f32},
    {u"move_lift_speed_thr_in_mm", AlgoFieldType::f32},
    {u"move_lift_dist_thr_in_mm", AlgoFieldType::f32},
    {u"move_lift_cur_pre_speed_ratio", AlgoFieldType::f32},
    {u"move_lift_release_count", AlgoFieldType::i32},
    {u"range_x_9_1_9_6_release_in_mm", AlgoFieldType::f32},
    {u"dual_smooth_alpha_lo", AlgoFieldType::f32},
    {u"dual_smooth_alpha_hi", AlgoFieldType::f32},
    {u"dual_select_thr", AlgoFieldType::f32},
    {u"one_one_finger_rad_thr_in_mm", AlgoFieldType::f32},
    {u"one_one_reivse_thr_in_mm", AlgoFieldType::f32},
    {u"dual_select_vec_sim_hi_thr", AlgoFieldType::f32},
    {u"dual_select_vec_sim_lo_thr", AlgoFieldType::f32},
    {u"two_object_111_distance_thr_mm", AlgoFieldType::f32},
    {u"single_accuracy_w_thr", AlgoFieldType::f32},
    {u"single_accuracy_h_thr", AlgoFieldType::f32},
    {u"cluster_center_weighting", AlgoFieldType::f32},
    {u"cluster_center_gravity_change_thr", AlgoFieldType::f32},
    {u"Cal02_fail_thr", AlgoFieldType::f32},
    {u"Logo_91_96_check_thr", AlgoFieldType::f32},
    {u"smooth_filter_parp_select", AlgoFieldType::i32},
    {u"hold_dual_sec_thr_in_mm", AlgoFieldType::f32},
    {u"dt_downtoup_y_no_one_thr", AlgoFieldType::f32},
    {u"screen_width_dt_from_ot_ratio_thr1", AlgoFieldType::f32},
    {u"screen_width_dt_from_ot_ratio_thr2", AlgoFieldType::f32},
    {u"screen_height_dt_from_ot_ratio_thr1", AlgoFieldType::f32},
    {u"screen_height_dt_from_ot_ratio_thr2", AlgoFieldType::f32},
    {u"profile_compensate_range_thr_0", AlgoFieldType::f32},
    {u"profile_compensate_range_thr_1", AlgoFieldType::f32},
    {u"profile_compensate_range_thr_2", AlgoFieldType::f32},
    {u"profile_compensate_cluster_size_thr_0", AlgoFieldType::f32},
    {u"profile_compensate_cluster_size_thr_1", AlgoFieldType::f32},
    {u"profile_compensate_cluster_size_thr_2", AlgoFieldType::f32},
    {u"screen_height_ratio_dual_111up_thr", AlgoFieldType::f32},
    {u"const_211_force_assign_ratio", AlgoFieldType::f32},
    {u"const_lefttop_corner_dis_in_mm", AlgoFieldType::f32},
    {u"const_212_lefttop_corner_dis_in_mm", AlgoFieldType::f32},
    {u"const_211_lefttop_corner_disx_in_mm", AlgoFieldType::f32},
    {u"const_211_lefttop_corner_disy_in_mm", AlgoFieldType::f32},
    {u"const_112_lefttop_corner_dis_in_mm", AlgoFieldType::f32},
    {u"const_toolbar_obj_ratio", AlgoFieldType::f32},
    {u"const_toolbar_obj_max_size_in_mm", AlgoFieldType::f32},
    {u"const_toolbar_obj_min_size_in_mm", AlgoFieldType::f32},
    {u"const_121_region_ratio", AlgoFieldType::f32},
    {u"const_single_lefttop_corner_x_in_mm", AlgoFieldType::f32},
    {u"const_single_lefttop_corner_y_in_mm", AlgoFieldType::f32},
    {u"smooth_const_lt_in_mm", AlgoFieldType::f32},
    {u"smooth_alpha_hi_lt", AlgoFieldType::f32},
    {u"corner_th_in_mm", AlgoFieldType::i32},
    {u"const_211_similarity_th", AlgoFieldType::i32},
    {u"const_211_similarity_region_x", AlgoFieldType::i32},
    // Block version 0x102: fields 89 to 102 appended
    {u"const_122_rightdown_corner_disx_in_mm", AlgoFieldType::f32},
    {u"const_122_rightdown_corner_disy_in_mm", AlgoFieldType::f32},
    {u"const_121_rightdown_corner_disx_in_mm", AlgoFieldType::f32},
    {u"const_121_rightdown_corner_disy_in_mm", AlgoFieldType::f32},
    {u"skip_dis_ratio", AlgoFieldType::f32},
    {u"skip_edge_margin", AlgoFieldType::i32},
    {u"skip_edge_defaultth", AlgoFieldType::i32},
    {u"min_skip_edge_th", AlgoFieldType::i32},
    {u"skip_frame_th", AlgoFieldType::i32},
    {u"finger_dt_split_ratio", AlgoFieldType::f32},
    {u"dualtosingle_edge_margin", AlgoFieldType::i32},
    {u"dualtosingle_x_ratio", AlgoFieldType::f32},
    {u"dualtosingle_y_ratio", AlgoFieldType::f32},
    {u"objdemerge_th", AlgoFieldType::i32},
    // Block version 0x103: fields 103 to 104 appended
    {u"hold_edge_th", AlgoFieldType::i32},
    {u"match_id_thr", AlgoFieldType::i32},
    // Block version 0x104: fields 105 to 184 appended
    {u"logo_shift_dx0", AlgoFieldType::f32},
    {u"logo_shift_dx1", AlgoFieldType::f32},
    {u"logo_shift_dx2", AlgoFieldType::f32},
    {u"logo_shift_dx3", AlgoFieldType::f32},
    {u"logo_shift_dx4", AlgoFieldType::f32},
    {u"logo_shift_dx5", AlgoFieldType::f32},
    {u"logo_shift_dx6", AlgoFieldType::f32},
    {u"logo_shift_dx7", AlgoFieldType::f32},
    {u"logo_shift_dx8", AlgoFieldType::f32},
    {u"logo_shift_dx9", AlgoFieldType::f32},
    {u"logo_shift_dx10", AlgoFieldType::f32},
    {u"logo_shift_dx11", AlgoFieldType::f32},
    {u"logo_shift_dx12", AlgoFieldType::f32},
    {u"logo_shift_dx13", AlgoFieldType::f32},
    {u"logo_shift_dx14", AlgoFieldType::f32},
    {u"logo_shift_dx15", AlgoFieldType::f32},
    {u"logo_shift_dx16", AlgoFieldType::f32},
    {u"logo_shift_dx17", AlgoFieldType::f32},
    {u"logo_shift_dx18", AlgoFieldType::f32},
    {u"logo_shift_dx19", AlgoFieldType::f32},
    {u"logo_shift_dx20", AlgoFieldType::f32},
    {u"logo_shift_dx21", AlgoFieldType::f32},
    {u"logo_shift_dx22", AlgoFieldType::f32},
    {u"logo_shift_dx23", AlgoFieldType::f32},
    {u"logo_shift_dx24", AlgoFieldType::f32},
    {u"logo_shift_dx25", AlgoFieldType::f32},
    {u"logo_shift_dx26", AlgoFieldType::f32},
    {u"logo_shift_dx27", AlgoFieldType::f32},
    {u"logo_shift_dx28", AlgoFieldType::f32},
    {u"logo_shift_dx29", AlgoFieldType::f32},
    {u"logo_shift_dy0", AlgoFieldType::f32},
    {u"logo_shift_dy1", AlgoFieldType::f32},
    {u"logo_shift_dy2", AlgoFieldType::f32},
    {u"logo_shift_dy3", AlgoFieldType::f32},
    {u"logo_shift_dy4", AlgoFieldType::f32},
    {u"logo_shift_dy5", AlgoFieldType::f32},
    {u"logo_shift_dy6", AlgoFieldType::f32},
    {u"logo_shift_dy7", AlgoFieldType::f32},
    {u"logo_shift_dy8", AlgoFieldType::f32},
    {u"logo_shift_dy9", AlgoFieldType::f32},
    {u"logo_shift_dy10", AlgoFieldType::f32},
    {u"logo_shift_dy11", AlgoFieldType::f32},
    {u"logo_shift_dy12", AlgoFieldType::f32},
    {u"logo_shift_dy13", AlgoFieldType::f32},
    {u"logo_shift_dy14", AlgoFieldType::f32},
    {u"logo_shift_dy15", AlgoFieldType::f32},
    {u"logo_shift_dy16", AlgoFieldType::f32},
    {u"logo_shift_dy17", AlgoFieldType::f32},
    {u"logo_shift_dy18", AlgoFieldType::f32},
    {u"logo_shift_dy19", AlgoFieldType::f32},
    {u"logo_shift_dy20", AlgoFieldType::f32},
    {u"logo_shift_dy21", AlgoFieldType::f32},
    {u"logo_shift_dy22", AlgoFieldType::f32},
    {u"logo_shift_dy23", AlgoFieldType::f32},
    {u"logo_shift_dy24", AlgoFieldType::f32},
    {u"logo_shift_dy25", AlgoFieldType::f32},
    {u"logo_shift_dy26", AlgoFieldType::f32},
    {u"logo_shift_dy27", AlgoFieldType::f32},
    {u"logo_shift_dy28", AlgoFieldType::f32},
    {u"logo_shift_dy29", AlgoFieldType::f32},
    {u"LO_Shift_0", AlgoFieldType::f32},
    {u"LO_Shift_1", AlgoFieldType::f32},
    {u"LO_Shift_2", AlgoFieldType::f32},
    {u"LO_Shift_3", AlgoFieldType::f32},
    {u"LO_Shift_4", AlgoFieldType::f32},
    {u"LO_Shift_5", AlgoFieldType::f32},
    {u"LO_Shift_6", AlgoFieldType::f32},
    {u"LO_Shift_7", AlgoFieldType::f32},
    {u"SO_Shift_0", AlgoFieldType::f32},
    {u"SO_Shift_1", AlgoFieldType::f32},
    {u"SO_Shift_2", AlgoFieldType::f32},
    {u"SO_Shift_3", AlgoFieldType::f32},
    {u"SO_Shift_4", AlgoFieldType::f32},
    {u"SO_Shift_5", AlgoFieldType::f32},
    {u"SO_Shift_6", AlgoFieldType::f32},
    {u"SO_Shift_7", AlgoFieldType::f32},
    {u"ET_Shift_0", AlgoFieldType::f32},
    {u"ET_Shift_1", AlgoFieldType::f32},
    {u"Box_Size_0", AlgoFieldType::f32},
    {u"Box_Size_1", AlgoFieldType::f32},
};

// Block versions 0x101 to 0x104 and the number of fields each holds.
struct AlgoVersion {
    uint16_t version;
    size_t fields;
};
inline constexpr AlgoVersion kAlgoVersions[] = {
    {0x101, 89}, {0x102, 103}, {0x103, 105}, {0x104, 185}};

// The field count of a block version; 0 for a version without a field list.
constexpr size_t algo_field_count(uint32_t version) {
    for (const AlgoVersion &v : kAlgoVersions)
        if (v.version == version) return v.fields;
    return 0;
}

static_assert(std::size(kAlgoFields) == 185);
static_assert(kAlgoFields[88].name == u"const_211_similarity_region_x");
static_assert(kAlgoFields[102].name == u"objdemerge_th");
static_assert(kAlgoFields[104].name == u"match_id_thr");
static_assert(kAlgoFields[184].name == u"Box_Size_1");
static_assert(kAlgoFields[8].type == AlgoFieldType::i32);  // waiting_count_thr, at device offset 36
static_assert(AlgoBlock::value_offset(104 + 1) == 424);    // logo_shift_dx0

}  // namespace ryn::devinfo
