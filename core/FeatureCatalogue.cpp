// The feature catalogue and the label rule. The tables are function-local statics: built
// once on first use (thread-safe), immutable afterwards.
#include "core/FeatureCatalogue.h"

namespace Tervane3 {

const FeatureTable& featureCatalogue()
{
    static const FeatureTable table{
        {"area_cvx", {"Convex area", "px"}},
        {"area_msd", {"Measured area", "px"}},
        {"area_ratio", {"Porosity", ""}},
        {"area_um", {"Area", "µm²"}},
        {"area_um_raw", {"Area of raw contour", "µm²"}},
        {"aspect", {"Aspect ratio of bounding box", ""}},
        {"bg_med", {"Median frame background brightness", "a.u."}},
        {"bg_off", {"Background offset", "a.u."}},
        {"bright_avg", {"Brightness average", "a.u."}},
        {"bright_sd", {"Brightness SD", "a.u."}},
        {"bright_bc_avg", {"Brightness average (bgc)", "a.u."}},
        {"bright_bc_sd", {"Brightness SD (bgc)", "a.u."}},
        {"bright_median", {"Brightness median", "a.u."}},
        {"bright_perc_10", {"Brightness 10th percentile", "a.u."}},
        {"bright_perc_90", {"Brightness 90th percentile", "a.u."}},
        {"bright_iqr", {"Brightness interquartile range", "a.u."}},
        {"bright_mad", {"Brightness MAD (robust SD)", "a.u."}},
        {"bright_cv", {"Brightness coefficient of variation", ""}},
        {"bright_skew", {"Brightness skewness", ""}},
        {"bright_kurt", {"Brightness excess kurtosis", ""}},
        {"bright_entropy", {"Brightness histogram entropy", "bit"}},
        {"lbp_entropy", {"LBP pattern entropy", "bit"}},
        {"lbp_uniformity", {"LBP uniform-pattern fraction", ""}},
        {"lbp_spot", {"LBP spot-pattern fraction", ""}},
        {"radial_slope", {"Radial intensity slope", "a.u."}},
        {"radial_cer", {"Radial centre-to-edge ratio", ""}},
        {"radial_contrast", {"Radial profile contrast", ""}},
        {"radial_ringdepth", {"Radial ring/halo depth", ""}},
        {"spectral_slope", {"Spectral log-log slope", ""}},
        {"spectral_centroid", {"Spectral centroid frequency", "1/px"}},
        {"spectral_hf", {"Spectral high-frequency fraction", ""}},
        {"spectral_entropy", {"Spectral entropy", "bit"}},
        {"focus_tenengrad", {"Focus: Tenengrad (mean sq. gradient)", ""}},
        {"focus_lapvar", {"Focus: variance of Laplacian", ""}},
        {"focus_brenner", {"Focus: Brenner gradient", ""}},
        {"focus_edge", {"Focus: mean edge-band gradient", ""}},
        {"circ", {"Circularity", ""}},
        {"deform", {"Deformation", ""}},
        {"deform_raw", {"Deformation of raw contour", ""}},
        {"deform_odd", {"Deformation of odd FC only", ""}},
        {"deform_even", {"Deformation of even FC only", ""}},
        {"deform_fc", {"Deformation from FC", ""}},
        {"eccentr_prnc", {"Eccentricity of raw contour", ""}},
        {"dim_1", {"Dimension 1", ""}},
        {"dim_2", {"Dimension 2", ""}},
        {"dr_cluster", {"DR cluster ID", ""}},
        {"emodulus", {"Young's modulus", "kPa"}},
        {"fl1_area", {"FL-1 area of peak", "a.u."}},
        {"fl1_dist", {"FL-1 distance between two first peaks", "µs"}},
        {"fl1_max", {"FL-1 maximum", "a.u."}},
        {"fl1_max_ctc", {"FL-1 maximum, crosstalk-corrected", "a.u."}},
        {"fl1_npeaks", {"FL-1 number of peaks", ""}},
        {"fl1_pos", {"FL-1 position of peak", "µs"}},
        {"fl1_width", {"FL-1 width", "µs"}},
        {"fl2_area", {"FL-2 area of peak", "a.u."}},
        {"fl2_dist", {"FL-2 distance between two first peaks", "µs"}},
        {"fl2_max", {"FL-2 maximum", "a.u."}},
        {"fl2_max_ctc", {"FL-2 maximum, crosstalk-corrected", "a.u."}},
        {"fl2_npeaks", {"FL-2 number of peaks", ""}},
        {"fl2_pos", {"FL-2 position of peak", "µs"}},
        {"fl2_width", {"FL-2 width", "µs"}},
        {"fl3_area", {"FL-3 area of peak", "a.u."}},
        {"fl3_dist", {"FL-3 distance between two first peaks", "µs"}},
        {"fl3_max", {"FL-3 maximum", "a.u."}},
        {"fl3_max_ctc", {"FL-3 maximum, crosstalk-corrected", "a.u."}},
        {"fl3_npeaks", {"FL-3 number of peaks", ""}},
        {"fl3_pos", {"FL-3 position of peak", "µs"}},
        {"fl3_width", {"FL-3 width", "µs"}},
        {"fl1_max_rf", {"FL-1 maximum refined", "a.u."}},
        {"fl1_pos_rf", {"FL-1 position refined", "µs"}},
        {"fl1_width_rf", {"FL-1 width refined", "µs"}},
        {"fl2_max_rf", {"FL-2 maximum refined", "a.u."}},
        {"fl2_pos_rf", {"FL-2 position refined", "µs"}},
        {"fl2_width_rf", {"FL-2 width refined", "µs"}},
        {"fl3_max_rf", {"FL-3 maximum refined", "a.u."}},
        {"fl3_pos_rf", {"FL-3 position refined", "µs"}},
        {"fl3_width_rf", {"FL-3 width refined", "µs"}},
        {"flow_rate", {"Flow rate", "µL/s"}},
        {"frame", {"Video frame number", ""}},
        {"index", {"Index (Dataset)", ""}},
        {"index_online", {"Index (Online)", ""}},
        {"inert_ratio_cvx", {"Inertia ratio of convex contour", ""}},
        {"inert_ratio_prnc", {"Principal inertia ratio of raw contour", ""}},
        {"inert_ratio_raw", {"Inertia ratio of raw contour", ""}},
        {"ml_class", {"Most probable ML class", ""}},
        {"per_ratio", {"Inverse convexity", ""}},
        {"per_um_raw", {"Perimeter of raw contour", "µm"}},
        {"pos_x", {"Position along channel axis", "µm"}},
        {"pos_y", {"Position lateral in channel", "µm"}},
        {"size_x", {"Bounding box size x", "µm"}},
        {"size_y", {"Bounding box size y", "µm"}},
        {"temp", {"Chip temperature", "°C"}},
        {"temp_amb", {"Ambient temperature", "°C"}},
        {"time", {"Time", "s"}},
        {"volume", {"Volume", "µm³"}},
        {"userdef0", {"User-defined 0", ""}},
        {"userdef1", {"User-defined 1", ""}},
        {"userdef2", {"User-defined 2", ""}},
        {"userdef3", {"User-defined 3", ""}},
        {"userdef4", {"User-defined 4", ""}},
        {"userdef5", {"User-defined 5", ""}},
        {"userdef6", {"User-defined 6", ""}},
        {"userdef7", {"User-defined 7", ""}},
        {"userdef8", {"User-defined 8", ""}},
        {"userdef9", {"User-defined 9", ""}},
    };
    return table;
}

const FeatureTable& instrumentFeatureLabels()
{
    static const FeatureTable table{
        {"userdef0", {"Velocity", "mm/s"}},
        {"userdef1", {"Deformation of odd FC only", ""}},
        {"userdef2", {"Deformation of even FC only", ""}},
        {"userdef9", {"Cell Type ID", ""}},
    };
    return table;
}

const FeatureTable& fluorescenceFeatureSuffixes()
{
    static const FeatureTable table{
        {"_area", {"area of peak", "a.u."}},
        {"_dist", {"distance between two first peaks", "µs"}},
        {"_max", {"maximum", "a.u."}},
        {"_max_ctc", {"maximum, crosstalk-corrected", "a.u."}},
        {"_max_rf", {"maximum refined", "a.u."}},
        {"_npeaks", {"number of peaks", ""}},
        {"_pos", {"position of peak", "µs"}},
        {"_pos_rf", {"position refined", "µs"}},
        {"_width", {"width", "µs"}},
        {"_width_rf", {"width refined", "µs"}},
    };
    return table;
}

bool parseFluorescenceFeatureLabel(const std::string& key, std::string& label, std::string& unit)
{
    if (key.size() <= 3 || key[0] != 'f' || key[1] != 'l')
        return false;
    std::size_t end = 2;
    while (end < key.size() && key[end] >= '0' && key[end] <= '9')
        ++end;
    if (end == 2 || end == key.size() || key[end] != '_')
        return false;
    const auto row = fluorescenceFeatureSuffixes().find(key.substr(end));
    if (row == fluorescenceFeatureSuffixes().end())
        return false;
    label = "FL-" + key.substr(2, end - 2) + " " + row->second.label;
    unit = row->second.unit;
    return true;
}

namespace {

std::string withUnit(const std::string& label, const std::string& unit)
{
    return unit.empty() ? label : label + " [" + unit + "]";
}

} // namespace

std::string formatFeatureLabel(const std::string& key, bool instrumentData)
{
    if (instrumentData) {
        const auto row = instrumentFeatureLabels().find(key);
        if (row != instrumentFeatureLabels().end())
            return withUnit(row->second.label, row->second.unit);
    }
    const auto row = featureCatalogue().find(key);
    if (row != featureCatalogue().end())
        return withUnit(row->second.label, row->second.unit);
    std::string label;
    std::string unit;
    if (parseFluorescenceFeatureLabel(key, label, unit))
        return withUnit(label, unit);
    return key;
}

} // namespace Tervane3
