#include "platform/winhttp/winhttp_errors.hpp"

namespace tralvex::winhttp {

std::u16string ErrorMessage(HResult code) {
    switch (code) {
        case kTimeout:
            return u"The operation timed out";
        case kInternalError:
            return u"An internal error occurred in the Microsoft Windows HTTP Services";
        case kInvalidUrl:
            return u"The URL is invalid";
        case kUnrecognizedScheme:
            return u"The URL does not use a recognized protocol";
        case kNameNotResolved:
            return u"The server name or address could not be resolved";
        case kOperationCancelled:
            return u"The operation has been canceled";
        case kCannotConnect:
            return u"A connection with the server could not be established";
        case kConnectionError:
            return u"The connection with the server was terminated abnormally";
        case kCannotCallBeforeOpen:
            return u"The requested operation cannot be carried out before the Open method has "
                   u"been called";
        case kCannotCallBeforeSend:
            return u"The requested operation cannot be carried out before the Send method has "
                   u"been called";
        case kCannotCallAfterSend:
            return u"The requested operation cannot be carried out after the Send method has "
                   u"been called";
        case kHeaderNotFound:
            return u"The requested header could not be located";
        case kInvalidServerResponse:
            return u"The server returned an invalid or unrecognized response";
        case kRedirectFailed:
            return u"The redirection failed";
        case kSecureFailure:
            return u"A security error occurred";
        case kHeaderSizeOverflow:
            return u"The server response headers exceed the allowed size";
        case kCertificateNotFound:
            return u"Cannot find object or property";
        case automation::kInvalidArg:
            return u"The parameter is incorrect";
        case automation::kOutOfMemory:
            return u"Not enough storage is available to complete this operation";
        default:
            return u"Unspecified error";
    }
}

automation::InvokeOutcome RaiseError(HResult code) {
    return automation::InvokeOutcome::Raise(code, ErrorMessage(code));
}

}  // namespace tralvex::winhttp
