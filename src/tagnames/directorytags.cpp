#include "tagnames/directorytags.h"

#include <algorithm>
#include <array>

namespace {

// Tags of the Exif directory: the Exif 2.32 list, plus the TIFF/EP tags that
// cameras write there under the numbers Exif leaves free.
constexpr std::array<TTagDescriptionRow, 100> kExifRows{{
    {33421, "CFARepeatPatternDim"},
    {33422, "CFAPattern"},
    {33423, "BatteryLevel"},
    {33434, "ExposureTime"},
    {33437, "FNumber"},
    {34850, "ExposureProgram"},
    {34852, "SpectralSensitivity"},
    {34855, "PhotographicSensitivity"},
    {34856, "OECF"},
    {34857, "Interlace"},
    {34858, "TimeZoneOffset"},
    {34859, "SelfTimerMode"},
    {34864, "SensitivityType"},
    {34865, "StandardOutputSensitivity"},
    {34866, "RecommendedExposureIndex"},
    {34867, "ISOSpeed"},
    {34868, "ISOSpeedLatitudeyyy"},
    {34869, "ISOSpeedLatitudezzz"},
    {36864, "ExifVersion"},
    {36867, "DateTimeOriginal"},
    {36868, "DateTimeDigitized"},
    {36880, "OffsetTime"},
    {36881, "OffsetTimeOriginal"},
    {36882, "OffsetTimeDigitized"},
    {37121, "ComponentsConfiguration"},
    {37122, "CompressedBitsPerPixel"},
    {37377, "ShutterSpeedValue"},
    {37378, "ApertureValue"},
    {37379, "BrightnessValue"},
    {37380, "ExposureBiasValue"},
    {37381, "MaxApertureValue"},
    {37382, "SubjectDistance"},
    {37383, "MeteringMode"},
    {37384, "LightSource"},
    {37385, "Flash"},
    {37386, "FocalLength"},
    {37387, "FlashEnergy"},
    {37388, "SpatialFrequencyResponse"},
    {37389, "Noise"},
    {37390, "FocalPlaneXResolution"},
    {37391, "FocalPlaneYResolution"},
    {37392, "FocalPlaneResolutionUnit"},
    {37393, "ImageNumber"},
    {37394, "SecurityClassification"},
    {37395, "ImageHistory"},
    {37396, "SubjectArea"},
    {37397, "ExposureIndex"},
    {37398, "TIFF/EPStandardID"},
    {37399, "SensingMethod"},
    {37500, "MakerNote"},
    {37510, "UserComment"},
    {37520, "SubSecTime"},
    {37521, "SubSecTimeOriginal"},
    {37522, "SubSecTimeDigitized"},
    {37888, "Temperature"},
    {37889, "Humidity"},
    {37890, "Pressure"},
    {37891, "WaterDepth"},
    {37892, "Acceleration"},
    {37893, "CameraElevationAngle"},
    {40960, "FlashpixVersion"},
    {40961, "ColorSpace"},
    {40962, "PixelXDimension"},
    {40963, "PixelYDimension"},
    {40964, "RelatedSoundFile"},
    {40965, "InteroperabilityIFDPointer"},
    {41483, "FlashEnergy"},
    {41484, "SpatialFrequencyResponse"},
    {41486, "FocalPlaneXResolution"},
    {41487, "FocalPlaneYResolution"},
    {41488, "FocalPlaneResolutionUnit"},
    {41492, "SubjectLocation"},
    {41493, "ExposureIndex"},
    {41495, "SensingMethod"},
    {41728, "FileSource"},
    {41729, "SceneType"},
    {41730, "CFAPattern"},
    {41985, "CustomRendered"},
    {41986, "ExposureMode"},
    {41987, "WhiteBalance"},
    {41988, "DigitalZoomRatio"},
    {41989, "FocalLengthIn35mmFilm"},
    {41990, "SceneCaptureType"},
    {41991, "GainControl"},
    {41992, "Contrast"},
    {41993, "Saturation"},
    {41994, "Sharpness"},
    {41995, "DeviceSettingDescription"},
    {41996, "SubjectDistanceRange"},
    {42016, "ImageUniqueID"},
    {42032, "CameraOwnerName"},
    {42033, "BodySerialNumber"},
    {42034, "LensSpecification"},
    {42035, "LensMake"},
    {42036, "LensModel"},
    {42037, "LensSerialNumber"},
    {42080, "CompositeImage"},
    {42081, "SourceImageNumberOfCompositeImage"},
    {42082, "SourceExposureTimesOfCompositeImage"},
    {42240, "Gamma"},
}};

constexpr std::array<TTagDescriptionRow, 32> kGpsRows{{
    {0, "GPSVersionID"},        {1, "GPSLatitudeRef"},
    {2, "GPSLatitude"},         {3, "GPSLongitudeRef"},
    {4, "GPSLongitude"},        {5, "GPSAltitudeRef"},
    {6, "GPSAltitude"},         {7, "GPSTimeStamp"},
    {8, "GPSSatellites"},       {9, "GPSStatus"},
    {10, "GPSMeasureMode"},     {11, "GPSDOP"},
    {12, "GPSSpeedRef"},        {13, "GPSSpeed"},
    {14, "GPSTrackRef"},        {15, "GPSTrack"},
    {16, "GPSImgDirectionRef"}, {17, "GPSImgDirection"},
    {18, "GPSMapDatum"},        {19, "GPSDestLatitudeRef"},
    {20, "GPSDestLatitude"},    {21, "GPSDestLongitudeRef"},
    {22, "GPSDestLongitude"},   {23, "GPSDestBearingRef"},
    {24, "GPSDestBearing"},     {25, "GPSDestDistanceRef"},
    {26, "GPSDestDistance"},    {27, "GPSProcessingMethod"},
    {28, "GPSAreaInformation"}, {29, "GPSDateStamp"},
    {30, "GPSDifferential"},    {31, "GPSHPositioningError"},
}};

// Exif defines only the index; the others come from the DCF rules that
// cameras follow.
constexpr std::array<TTagDescriptionRow, 5> kInteropRows{{
    {1, "InteroperabilityIndex"},
    {2, "InteroperabilityVersion"},
    {4096, "RelatedImageFileFormat"},
    {4097, "RelatedImageWidth"},
    {4098, "RelatedImageLength"},
}};

template <std::size_t N> constexpr bool isStrictlySorted(const std::array<TTagDescriptionRow, N>& rows)
{
    for (std::size_t i = 1; i < N; ++i)
        if (rows[i - 1].Number >= rows[i].Number)
            return false;
    return true;
}
static_assert(isStrictlySorted(kExifRows) && isStrictlySorted(kGpsRows) && isStrictlySorted(kInteropRows),
              "binary search needs the rows sorted without duplicates");

const TTagDescriptionRow* findRow(std::span<const TTagDescriptionRow> rows, std::int32_t number)
{
    const auto it = std::lower_bound(rows.begin(), rows.end(), number,
                                     [](const TTagDescriptionRow& row, std::int32_t n) { return row.Number < n; });
    return it != rows.end() && it->Number == number ? &*it : nullptr;
}

} // namespace

std::string_view directoryTagName(TDirectoryKind kind, std::uint16_t number)
{
    switch (kind) {
    case TDirectoryKind::Page:
    case TDirectoryKind::SubIfd:
        break;
    case TDirectoryKind::Exif:
        if (const auto* row = findRow(kExifRows, number))
            return row->Name;
        break;
    case TDirectoryKind::Gps:
        if (const auto* row = findRow(kGpsRows, number))
            return row->Name;
        return UnknownTagName;
    case TDirectoryKind::Interop:
        if (const auto* row = findRow(kInteropRows, number))
            return row->Name;
        return UnknownTagName;
    }
    return GetTagDescription(number);
}

std::span<const TTagDescriptionRow> exifTagTable()
{
    return kExifRows;
}

std::span<const TTagDescriptionRow> gpsTagTable()
{
    return kGpsRows;
}

std::span<const TTagDescriptionRow> interopTagTable()
{
    return kInteropRows;
}
