' Sends a UTF-8 message (CharSet 3) with the texts given on the command line,
' which reach the script as UTF-16, and logs next to the attachment.
' Arguments: the server (host:port), the file to attach, the subject, the
' sender's name, the recipient's name and the body.
' Prints "sent" or "not sent: <Response>".
Option Explicit
Dim m, a
Set a = WScript.Arguments
Set m = CreateObject("Quillpost.Mailer")
m.RemoteHost = a(0)
m.CharSet = 3
m.FromName = a(3)
m.FromAddress = "script@example.test"
m.AddRecipient a(4), "linux@example.test"
m.Subject = a(2)
m.BodyText = a(5)
m.AddAttachment a(1)
m.SMTPLog = a(1) & ".log"
If m.Subject <> a(2) Or m.FromName <> a(3) Then
    WScript.Echo "not sent: the texts did not read back"
ElseIf m.SendMail Then
    WScript.Echo "sent"
Else
    WScript.Echo "not sent: " & m.Response
End If
