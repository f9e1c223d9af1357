#pragma once

#include <functional>
#include <memory>

#include "app/net/ResponseDecoding.h"

class Image;

// An HTTP operation whose body is an image (TIFF, JPEG, GIF, PNG, ICO, BMP
// by content type or path extension), decoded once on the processing queue
// "com.velotide.networking.image-request.processing" at imageScale (the main
// screen's by default). The decoders always give a fully decoded bitmap, so
// the image is ready to draw when it arrives, inflated or not. An animated
// GIF gives its first frame and its frame count.
//
// A non-empty body that no decoder takes (damaged, truncated, or an image
// larger than the fixed pixel bound of the decoders) fails with
// "CorvexErrorDomain" -1016 rather than succeeding without an image.
class AFImageRequestOperation : public DecodingRequestOperation<AFImageRequestOperation, std::shared_ptr<Image>> {
public:
    using ImageSuccess = std::function<void(std::shared_ptr<Image>)>;
    using Success = std::function<void(const URLRequest&, std::shared_ptr<URLResponse>, std::shared_ptr<Image>)>;
    using Failure = std::function<void(const URLRequest&, std::shared_ptr<URLResponse>, const Error&)>;
    using ProcessingBlock = std::function<std::shared_ptr<Image>(std::shared_ptr<Image>)>;

    static constexpr bool kChecksErrorFirst = false;
    explicit AFImageRequestOperation(URLRequest request);
    static std::shared_ptr<AFImageRequestOperation> imageRequestOperationWithRequest(URLRequest request,
                                                                                     ImageSuccess success);
    static std::shared_ptr<AFImageRequestOperation> imageRequestOperationWithRequest(URLRequest request,
                                                                                     ProcessingBlock processing,
                                                                                     Success success, Failure failure);

    static AFHTTPOperationClass& classObject();
    static std::shared_ptr<DispatchQueue> processingQueue();

    std::shared_ptr<Image> responseImage() const;
    std::size_t responseImageFrameCount() const;
    double imageScale() const;
    // A changed scale drops the decoded image, which is decoded again.
    void setImageScale(double scale);
    bool automaticallyInflatesResponseImage() const { return inflates_; }
    void setAutomaticallyInflatesResponseImage(bool value) { inflates_ = value; }
    Error error() const override;

    std::shared_ptr<Image> decodedObject() const { return responseImage(); }

private:
    std::atomic<bool> inflates_{true};
    double imageScale_;
    mutable std::shared_ptr<Image> responseImage_;
    mutable std::size_t frameCount_ = 0;
    mutable Error imageError_;
};
