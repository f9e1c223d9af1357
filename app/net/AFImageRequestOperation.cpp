#include "app/net/AFImageRequestOperation.h"

#include "app/net/ResponseDecoding.h"
#include "platform/foundation/Bundle.h"
#include "platform/media/ImageDecoding.h"
#include "platform/net/URLError.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

AFHTTPOperationClass& AFImageRequestOperation::classObject() {
    static AFHTTPOperationClass cls =
        ResponseDecoding::makeClass("AFImageRequestOperation",
                                    {"image/tiff", "image/jpeg", "image/gif", "image/png", "image/ico", "image/x-icon",
                                     "image/bmp", "image/x-bmp", "image/x-xbitmap", "image/x-win-bitmap"},
                                    {"tif", "tiff", "jpg", "jpeg", "gif", "png", "ico", "bmp", "cur"});
    return cls;
}

std::shared_ptr<DispatchQueue> AFImageRequestOperation::processingQueue() {
    return ResponseDecoding::processingQueue("com.velotide.networking.image-request.processing");
}

AFImageRequestOperation::AFImageRequestOperation(URLRequest request)
    : DecodingRequestOperation(std::move(request)), imageScale_(Screen::main().scale()) {}

std::shared_ptr<AFImageRequestOperation> AFImageRequestOperation::imageRequestOperationWithRequest(
    URLRequest request, ImageSuccess success) {
    return imageRequestOperationWithRequest(
        std::move(request), nullptr,
        [success](const URLRequest&, std::shared_ptr<URLResponse>, std::shared_ptr<Image> image) {
            if (success) success(std::move(image));
        },
        nullptr);
}

std::shared_ptr<AFImageRequestOperation> AFImageRequestOperation::imageRequestOperationWithRequest(
    URLRequest request, ProcessingBlock processing, Success success, Failure failure) {
    auto operation = create(std::move(request));
    operation->setCompletionBlockWithSuccess(
        [processing, success](std::shared_ptr<AFHTTPRequestOperation> op, std::shared_ptr<Image> image) {
            if (!success) return;
            if (!processing) return success(op->request(), op->response(), std::move(image));
            processingQueue()->async([op, processing, success, image] {
                auto processed = processing(image);
                auto queue = op->successCallbackQueue();
                auto deliver = [op, success, processed] { success(op->request(), op->response(), processed); };
                if (queue)
                    queue->async(deliver);
                else
                    DispatchQueue::main().async(deliver);
            });
        },
        [failure](std::shared_ptr<AFHTTPRequestOperation> op, const Error& error) {
            if (failure) failure(op->request(), op->response(), error);
        });
    return operation;
}

std::shared_ptr<Image> AFImageRequestOperation::responseImage() const {
    std::lock_guard lock(lock_);
    const auto data = responseData();
    if (!responseImage_ && !imageError_ && data && !data->empty() && isFinished()) {
        if (auto decoded = decodeImageData(*data, imageScale_)) {
            responseImage_ = decoded->image;
            frameCount_ = decoded->frameCount;
        } else {
            const std::string text = "The response body is not an image that can be decoded.";
            Value info =
                Value::dictionary({{NSLocalizedDescriptionKey, Bundle::main().localizedString(text, text, "Corvex")}});
            if (request().url()) info.set(NSURLErrorFailingURLErrorKey, request().url()->absoluteString());
            imageError_ = Error(kCorvexErrorDomain, URLErrorCannotDecodeContentData, std::move(info));
        }
    }
    return responseImage_;
}

std::size_t AFImageRequestOperation::responseImageFrameCount() const {
    std::lock_guard lock(lock_);
    return responseImage_ ? frameCount_ : 0;
}

double AFImageRequestOperation::imageScale() const {
    std::lock_guard lock(lock_);
    return imageScale_;
}

void AFImageRequestOperation::setImageScale(double scale) {
    std::lock_guard lock(lock_);
    if (scale == imageScale_) return;
    imageScale_ = scale;
    responseImage_.reset();
    imageError_ = Error();
}

Error AFImageRequestOperation::error() const {
    {
        std::lock_guard lock(lock_);
        if (imageError_) return imageError_;
    }
    return AFHTTPRequestOperation::error();
}
