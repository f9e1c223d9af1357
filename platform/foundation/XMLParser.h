#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"

class XMLParser;

inline constexpr const char* XMLParserErrorDomain = "NSXMLParserErrorDomain";

// What an XML parser reports while it runs, on the thread that runs it.
class XMLParserDelegate {
public:
    virtual ~XMLParserDelegate() = default;
    virtual void parserDidStartDocument(XMLParser&) {}
    virtual void parserDidEndDocument(XMLParser&) {}
    // Local name, namespace URI (empty without one), qualified name, attributes by qualified name.
    virtual void didStartElement(XMLParser&, const std::string& elementName, const std::string& namespaceURI,
                                 const std::string& qualifiedName,
                                 const std::map<std::string, std::string>& attributes) {
        (void)elementName, (void)namespaceURI, (void)qualifiedName, (void)attributes;
    }
    virtual void didEndElement(XMLParser&, const std::string& elementName, const std::string& namespaceURI,
                               const std::string& qualifiedName) {
        (void)elementName, (void)namespaceURI, (void)qualifiedName;
    }
    // Text and CDATA, possibly in several pieces.
    virtual void foundCharacters(XMLParser&, const std::string& characters) { (void)characters; }
    virtual void parseErrorOccurred(XMLParser&, const Error& error) { (void)error; }
};

// An event-driven XML parser over bytes (the platform's XML parser), made
// over libxml2's SAX interface. It never loads anything: no external
// entities, no DTD, nothing from the network; entity references other than
// the five predefined ones and character references are not expanded (they
// are reported as errors or left out). Nesting is limited by libxml2's
// default depth.
//
// parse() runs once, synchronously; the delegate is held weakly and may be
// cleared while the parser runs. Errors: domain "NSXMLParserErrorDomain",
// libxml2's error number as code, its message as description.
class XMLParser {
public:
    explicit XMLParser(Data data);
    ~XMLParser();
    XMLParser(const XMLParser&) = delete;
    XMLParser& operator=(const XMLParser&) = delete;

    void setDelegate(std::weak_ptr<XMLParserDelegate> delegate);
    std::shared_ptr<XMLParserDelegate> delegate() const;
    const Data& data() const { return data_; }

    // true when the document was read to its end without error.
    bool parse();
    // Stops a running parse (from a delegate call); parse() then fails.
    void abortParsing();
    Error parserError() const;

private:
    struct Callbacks;
    Data data_;
    mutable std::mutex mutex_;
    std::weak_ptr<XMLParserDelegate> delegate_;
    Error error_;
    void* context_ = nullptr;  // the libxml2 parser context while parse() runs
    bool aborted_ = false;
    bool parsed_ = false;
};
