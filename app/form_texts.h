// Every text and picture name the window shows, in one place, so the front ends and the CLI show
// exactly the same words.
#pragma once

#include <array>
#include <string_view>

#include "firmware/chip_profiles.h"

namespace corvane::app {

// Window and application.
inline constexpr std::string_view kApplicationTitle = "CORVANE Update Tool";
inline constexpr std::string_view kStoredCaption = "Form1";
inline constexpr std::string_view kWindowCaption = "Corvane Update Tool";

// Pictures carried by the program (canonical, upper-case names).
inline constexpr std::string_view kPictureBackground = "BACKGROUND";
inline constexpr std::string_view kPictureLoading1 = "LOADING1";
inline constexpr std::string_view kPictureLoading2 = "LOADING2";
inline constexpr std::string_view kPictureLoading3 = "LOADING3";
inline constexpr std::string_view kPictureGood = "GOOD";
inline constexpr std::string_view kPictureUpdate = "UPDATE";
inline constexpr std::string_view kPictureCross = "CROSS";
inline constexpr std::array<std::string_view, 7> kPictureNames = {
    kPictureBackground, kPictureLoading1, kPictureLoading2, kPictureLoading3,
    kPictureGood,       kPictureUpdate,   kPictureCross};
// The update run asks for the thumbs-up by this spelling; picture names match without case.
inline constexpr std::string_view kPictureGoodAsAskedByRun = "Good";

// What assistive technology calls the pictures: the result pictures by what they say, the turning
// arrows by what they mean. PictureAccessibleName (app/form.h) picks one for a carried picture.
inline constexpr std::string_view kAccessibleNameGood = "Up to date";
inline constexpr std::string_view kAccessibleNameUpdate = "Update available";
inline constexpr std::string_view kAccessibleNameCross = "Failed";
inline constexpr std::string_view kAccessibleNameBusy = "Working";
inline constexpr std::string_view kAccessibleNameBanner = "Corvane Update Tool";
// What the status line offers to a screen reader besides its text: it is a button.
inline constexpr std::string_view kAccessiblePressAction = "Press";

// Status line texts.
inline constexpr std::string_view kStatusLooking = "Looking for Corvane adaptor";
inline constexpr std::string_view kStatusGettingModel = "Getting model#";
inline constexpr std::string_view kStatusNoDevice = "Cannot find any supported Corvane devices.";
inline constexpr std::string_view kStatusSeveral =
    "Multiple USB drives are attached. Please disconnect all devices.\n"
    " Except the one that needs to be updated.";
inline constexpr std::string_view kStatusChecking = "Checking for FW update";
inline constexpr std::string_view kStatusCurrent = "Your product is up to date";
// The offers name the carried version; each chip's profile holds its text.
inline constexpr std::string_view kStatusOfferSata = firmware::kKts210Profile.offerText;
inline constexpr std::string_view kStatusOfferNvme = firmware::kKts260Profile.offerText;
inline constexpr std::string_view kStatusUpdating = "Updating";
inline constexpr std::string_view kStatusUpdateComplete = "Update complete";
inline constexpr std::string_view kStatusUpdateFail = "Update Fail";

// Device list.
inline constexpr std::string_view kDeviceListStoredText = "DeviceList";
inline constexpr std::string_view kNoAvailableDevice = "No available device!!!";
inline constexpr std::string_view kPrefix1394 = "<<1394>> ";
inline constexpr std::string_view kPrefixUasp = "<<UASP>> ";
inline constexpr std::string_view kPrefixUsb = "<<USB>> ";

// The scan's limit warning; %d stands for the limit.
inline constexpr std::string_view kLimitWarningFormat = "The tool only can show %d disks.";
inline constexpr std::string_view kLimitWarningCaption = "Warning";

// Said once when adaptors are present but this user may not open them; the front end gives the
// words of its platform (device/system_devices.h), this is what is said without them.
inline constexpr std::string_view kAccessDeniedCaption = "No access to the adaptor";
inline constexpr std::string_view kAccessDeniedText =
    "A drive adaptor is attached, but this user is not allowed to open it.";

// Debugger trace of the update run.
inline constexpr std::string_view kTraceUpdatePressed = "btn_upd Press\n";

// Identification text that marks drives the tool must not touch.
inline constexpr std::string_view kExcludedProductLine = "VOLANT";

// Fixed texts of Label1 to Label5.
inline constexpr std::string_view kLabelSupportedProducts =
    "Corvane Product Supported: CV-E2510, CV-E2520, CV-E2530, CV-E3510, CV-E3520, CV-D2610, "
    "CV-D2620, CV-D3610, CV-N2610, CV-N2620, CV-N3610, CV-N3620, CV-S2510, CV-S2520, CV-M2610";
inline constexpr std::string_view kLabelTechnicalSupport = "Technical Support";
inline constexpr std::string_view kLabelTelephone = "800-555-0142";
inline constexpr std::string_view kLabelWebAddress = "www.corvane.example";
inline constexpr std::string_view kLabelTicketAddress = "support.corvane.example/ticket";

}  // namespace corvane::app
