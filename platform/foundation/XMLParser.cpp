#include "platform/foundation/XMLParser.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <climits>
#include <cstring>

#include "platform/foundation/StringUtils.h"

namespace {

std::string text(const xmlChar* s) {
    return s ? reinterpret_cast<const char*>(s) : "";
}

std::string qualified(const xmlChar* prefix, const xmlChar* localName) {
    return prefix ? text(prefix) + ":" + text(localName) : text(localName);
}

}  // namespace

struct XMLParser::Callbacks {
    // The callbacks get the parser object as their user data. (With the
    // context as user data libxml2 would record declared entities in a
    // document of its own and expand them.)
    static XMLParser& parser(void* context) { return *static_cast<XMLParser*>(context); }
    static std::shared_ptr<XMLParserDelegate> delegateOf(void* context) { return parser(context).delegate(); }

    static void startDocument(void* context) {
        if (auto d = delegateOf(context)) d->parserDidStartDocument(parser(context));
    }
    static void endDocument(void* context) {
        if (auto d = delegateOf(context)) d->parserDidEndDocument(parser(context));
    }
    static void startElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri, int,
                             const xmlChar**, int attributeCount, int, const xmlChar** attributes) {
        auto d = delegateOf(context);
        if (!d) return;
        std::map<std::string, std::string> values;
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** a = attributes + i * 5;  // local name, prefix, URI, value start, value end
            values[qualified(a[1], a[0])] =
                std::string(reinterpret_cast<const char*>(a[3]), reinterpret_cast<const char*>(a[4]));
        }
        d->didStartElement(parser(context), text(localName), text(uri), qualified(prefix, localName), values);
    }
    static void endElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri) {
        if (auto d = delegateOf(context))
            d->didEndElement(parser(context), text(localName), text(uri), qualified(prefix, localName));
    }
    static void characters(void* context, const xmlChar* chars, int length) {
        if (auto d = delegateOf(context))
            d->foundCharacters(parser(context),
                               std::string(reinterpret_cast<const char*>(chars), static_cast<std::size_t>(length)));
    }
    // Only the predefined entities exist: declared ones are never recorded,
    // so they can be neither expanded nor fetched.
    static xmlEntityPtr getEntity(void*, const xmlChar* name) { return xmlGetPredefinedEntity(name); }
    static xmlParserInputPtr resolveEntity(void*, const xmlChar*, const xmlChar*) { return nullptr; }
    static void structuredError(void* context, xmlErrorPtr error) {
        if (!error || error->level < XML_ERR_ERROR) return;
        XMLParser& self = parser(context);
        Error e;
        {
            std::lock_guard lock(self.mutex_);
            if (self.error_) return;
            std::string message =
                stringByTrimmingWhitespaceAndNewlines(text(reinterpret_cast<const xmlChar*>(error->message)));
            self.error_ =
                Error(XMLParserErrorDomain, error->code,
                      Value::dictionary({{NSLocalizedDescriptionKey, message},
                                         {"NSXMLParserErrorLineNumber", static_cast<long long>(error->line)}}));
            e = self.error_;
        }
        if (auto d = delegateOf(context)) d->parseErrorOccurred(self, e);
    }
};

XMLParser::XMLParser(Data data) : data_(std::move(data)) {}
XMLParser::~XMLParser() = default;

void XMLParser::setDelegate(std::weak_ptr<XMLParserDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<XMLParserDelegate> XMLParser::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

Error XMLParser::parserError() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void XMLParser::abortParsing() {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    if (context_) xmlStopParser(static_cast<xmlParserCtxtPtr>(context_));
    if (!error_)
        error_ = Error(XMLParserErrorDomain, 512,
                       Value::dictionary({{NSLocalizedDescriptionKey, "The parser was aborted."}}));
}

bool XMLParser::parse() {
    {
        std::lock_guard lock(mutex_);
        if (parsed_) return false;
        parsed_ = true;
    }
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startDocument = &Callbacks::startDocument;
    sax.endDocument = &Callbacks::endDocument;
    sax.startElementNs = &Callbacks::startElement;
    sax.endElementNs = &Callbacks::endElement;
    sax.characters = &Callbacks::characters;
    sax.cdataBlock = &Callbacks::characters;
    sax.getEntity = &Callbacks::getEntity;
    sax.getParameterEntity = &Callbacks::getEntity;
    sax.resolveEntity = &Callbacks::resolveEntity;
    sax.serror = &Callbacks::structuredError;

    xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr);
    if (!ctxt) {
        std::lock_guard lock(mutex_);
        error_ = Error(XMLParserErrorDomain, 1, Value::dictionary({{NSLocalizedDescriptionKey, "Out of memory."}}));
        return false;
    }
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOWARNING);
    ctxt->replaceEntities = 0;
    ctxt->loadsubset = 0;
    ctxt->validate = 0;
    {
        std::lock_guard lock(mutex_);
        context_ = ctxt;
    }
    const char* bytes = reinterpret_cast<const char*>(data_.data());
    std::size_t left = data_.size();
    constexpr std::size_t kChunk = 1 << 20;
    int result = 0;
    do {
        const std::size_t n = std::min(left, kChunk);
        result = xmlParseChunk(ctxt, bytes, static_cast<int>(n), n == left);
        bytes += n;
        left -= n;
    } while (left > 0 && result == 0 && !ctxt->disableSAX);
    const bool wellFormed = ctxt->wellFormed != 0;
    {
        std::lock_guard lock(mutex_);
        context_ = nullptr;
    }
    // A document type declaration leaves a document holding it, which is the caller's to free.
    if (ctxt->myDoc) {
        xmlFreeDoc(ctxt->myDoc);
        ctxt->myDoc = nullptr;
    }
    xmlFreeParserCtxt(ctxt);
    std::lock_guard lock(mutex_);
    if (!error_ && (!wellFormed || aborted_))
        error_ = Error(XMLParserErrorDomain, result ? result : 1,
                       Value::dictionary({{NSLocalizedDescriptionKey, "The document is not well-formed."}}));
    return !error_;
}
