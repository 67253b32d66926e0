' Sends one message with an attachment through Quillpost.Mailer, as a web
' page script does. Arguments: the server (host:port) and the file to attach.
' Prints "sent" or "not sent: <Response>".
Option Explicit
Dim m
Set m = CreateObject("Quillpost.Mailer")
m.RemoteHost = WScript.Arguments(0)
m.FromName = "Script Sender"
m.FromAddress = "script@example.test"
m.AddRecipient "Linux Side", "linux@example.test"
m.Subject = "Sent from VBScript"
m.BodyText = "Hello from cscript."
m.AddAttachment WScript.Arguments(1)
m.SMTPLog = WScript.Arguments(1) & ".log"
If m.SendMail Then
    WScript.Echo "sent"
Else
    WScript.Echo "not sent: " & m.Response
End If
