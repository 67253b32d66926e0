' Drives Quillpost.Mailer late-bound, as a web page script does. Prints one
' "ok - ..." or "not ok - ..." line per check; ends with MarkRegistry 7.
Option Explicit
Dim m, r

Sub Check(cond, text)
    If cond Then
        WScript.Echo "ok - " & text
    Else
        WScript.Echo "not ok - " & text
    End If
End Sub

Set m = CreateObject("Quillpost.Mailer")

' Creation values, including the Encoding quirk (MIME reads back as 0).
Check m.Encoding = 0, "Encoding reads 0"
Check m.CharSet = 1, "CharSet reads 1"
Check m.Priority = 3, "Priority reads 3"
Check m.TimeOut = 45, "TimeOut reads 45"
Check m.WordWrapLen = 70, "WordWrapLen reads 70"
Check m.WordWrap = False, "WordWrap reads False"
Check m.UseMSMailHeaders = True, "UseMSMailHeaders reads True"
Check m.Live = True, "Live reads True"
Check m.Urgent = False And m.ConfirmRead = False And m.ReturnReceipt = False, "flags read False"
Check m.Version = "2.2", "Version reads 2.2"
Check TypeName(m.Version) = "String", "Version is text"
Check TypeName(m.Encoding) = "Integer", "Encoding is a 16-bit integer"
Check m.RemoteHost & m.Subject & m.FromName & m.FromAddress & m.ReplyTo & m.ContentType & _
      m.SMTPLog & m.Response & m.DateTime & m.PGPPath & m.PGPParams = "", "text properties are empty"

' Property quirks.
m.Encoding = 1
Check m.Encoding = 1, "Encoding 1 reads 1"
m.Encoding = 7
Check m.Encoding = 0, "Encoding 7 reads 0"
m.Priority = 6
Check m.Priority = 3, "Priority 6 is ignored"
m.Priority = 0
Check m.Priority = 3, "Priority 0 is ignored"
m.Priority = "5"
Check m.Priority = 5, "Priority takes the text 5"
m.Urgent = True
Check m.Urgent = True, "Urgent reads back True"
m.remotehost = "mail.example.org;backup.example.org"
Check m.RemoteHost = "mail.example.org;backup.example.org", "names are found without regard to case"
m.BodyText = "first"
m.BodyText = "second"
Check m.AddRecipient("Ann", "ann@example.org") = True, "AddRecipient answers True"
Check m.AddExtraHeader("X-Test: 1") = True, "AddExtraHeader answers True"

On Error Resume Next
r = m.BodyText
Check Err.Number <> 0, "BodyText cannot be read"
Err.Clear
m.Version = "3.0"
Check Err.Number <> 0, "Version cannot be set"
Err.Clear

' A failing setter: the error reaches the script with the component as its source.
m.WordWrapLen = -1
Check Err.Number = &H8000FFFF, "WordWrapLen -1 raises E_UNEXPECTED (" & Hex(Err.Number) & ")"
Check Err.Source = "Quillpost.Mailer", "the error's source is Quillpost.Mailer (" & Err.Source & ")"
Check Err.Description = "Range check error", "the error's text is the range error (" & Err.Description & ")"
Err.Clear
Check m.WordWrapLen = 70, "WordWrapLen keeps 70"

' A lower-case method name reaches SendMail; a mail failure is an answer, not an error.
r = m.sendmail
Check Err.Number = 0, "sendmail raises no automation error (" & Hex(Err.Number) & ")"
Check r = False, "sendmail answers False without a sender"
Check m.Response = "FromAddress Property cannot be blank.", "Response says why (" & m.Response & ")"
Err.Clear
Check m.Subject = "", "the object stays usable after an error"

m.MarkRegistry 7
Check Err.Number = 0, "MarkRegistry 7 succeeds"
