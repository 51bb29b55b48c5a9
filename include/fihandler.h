#ifndef FIHANDLER_H
#define FIHANDLER_H

#include "pwfdata.h"
#include "workerinfo.h"
#include "zelapi.h"
#include "zelwstring.h"

// The host's tree-building callback. A parser reports the message tree to it
// event by event, in document order. Element kinds are the host's codes
// (field, structure and message families). Every worker-info handle may be
// null; the host keeps the records it is given on the element concerned.
class ZEL_API FIHandler {
public:
  virtual ~FIHandler();

  virtual void startMessage(const WorkerInfoPtr& startInfo) = 0;
  virtual void endMessage(const WorkerInfoPtr& endInfo) = 0;

  // An embedded message may start here; it is confirmed by the next
  // startMessageContent or abandoned by endEmbeddedMessage.
  virtual void startEmbeddedMessage() = 0;
  virtual void endEmbeddedMessage(bool keep, bool abandoned) = 0;

  // Message content of a message known only by its element name. Returns
  // false to refuse.
  virtual bool startMessageContent(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                                   const WorkerInfoPtr& startInfo, long xsiTypeIndex) = 0;
  // Message content of a defined message. tagId holds the element's tag id;
  // the host may replace it. Returns false to refuse.
  virtual bool startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo,
                                   long memberId, long xsiTypeIndex, long tagIndex, long memberIndex) = 0;
  virtual void endMessageContent(long tagId, const WorkerInfoPtr& endInfo) = 0;
  virtual void endMessageContent(const char16_t* name, const ZelWstring& namespaceURI,
                                 const WorkerInfoPtr& endInfo) = 0;

  // A defined element.
  virtual void startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                            long occurrence, long xsiTypeIndex, long tagIndex, long memberIndex) = 0;
  // A self-defining element.
  virtual void startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                            const WorkerInfoPtr& startInfo, long memberId, long xsiTypeIndex) = 0;
  virtual void endElement(long tagId, const WorkerInfoPtr& endInfo) = 0;
  virtual void endElement(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) = 0;

  // The value of the innermost open element (or an anonymous value inside it).
  // itemTypeIndex: the type of a list item or of a union's value, -1 otherwise.
  // listTypeIndex: the list type a union chose for the items of its value;
  // -1 otherwise, also for the items of a list that is the element's own type.
  virtual void data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) = 0;
};

#endif
