' Sends over ESMTP through a server that refuses one mailbox, as a mailing
' script that must not stop at one bad address does. Arguments: the server
' (host:port), the refused address and the SMTPLog file. Prints one
' "ok - ..." or "not ok - ..." line per check.
Option Explicit
Dim m, refused, lines, sent

Sub Check(cond, text)
    If cond Then
        WScript.Echo "ok - " & text
    Else
        WScript.Echo "not ok - " & text
    End If
End Sub

refused = WScript.Arguments(1)
Set m = CreateObject("Quillpost.Mailer")
Check m.UseESMTP = False And m.SkipRefusedRecipients = False, "UseESMTP and SkipRefusedRecipients read False"
m.DisableExtensions = " chunking , Size,CHUNKING"
Check m.DisableExtensions = "SIZE,CHUNKING", "DisableExtensions reads back as " & m.DisableExtensions

' A refused value raises, names the member in Response and keeps the old value.
On Error Resume Next
m.DSNNotify = "FAILURE"
m.DSNNotify = "NEVER,DELAY"
Check Err.Number <> 0, "DSNNotify NEVER,DELAY raises"
Check InStr(Err.Description, "DSNNotify ""NEVER,DELAY""") = 1, "the error names the member: " & Err.Description
Check m.Response = Err.Description, "Response says the same"
Check m.DSNNotify = "FAILURE", "the old DSNNotify stays"
Err.Clear
On Error GoTo 0

m.RemoteHost = WScript.Arguments(0)
m.SMTPLog = WScript.Arguments(2)
m.UseESMTP = True
m.SkipRefusedRecipients = True
m.FromAddress = "script@example.test"
m.AddRecipient "Ann", "ann@example.test"
m.AddRecipient "Nobody", refused
m.AddCC "Bob", "bob@example.test"
m.Subject = "Refused from VBScript"
m.BodyText = "Two of three should get this."
sent = m.SendMail
Check sent, "SendMail answers True with one of three recipients refused"
Check m.Response = "1 of 3 recipients refused", "Response: " & m.Response
lines = Split(m.RefusedRecipients, vbCrLf)
Check UBound(lines) = 0, "RefusedRecipients holds one line"
Check InStr(m.RefusedRecipients, refused & vbTab & "550 ") = 1, "RefusedRecipients: " & m.RefusedRecipients

' Nobody left to deliver to: the send fails and says why.
m.ClearAllRecipients
m.AddRecipient "Nobody", refused
Check Not m.SendMail, "SendMail answers False when every recipient is refused"
Check InStr(m.Response, "550") > 0, "Response gives the server's reply: " & m.Response
Check InStr(m.RefusedRecipients, refused & vbTab) = 1, "RefusedRecipients names it again"
