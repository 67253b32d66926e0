' Sends one message through Quillpost.Mailer. Edit the server and the
' addresses, then run it with the script host of the DLL you registered:
'   cscript sample.vbs
Option Explicit
Dim mailer
Set mailer = CreateObject("Quillpost.Mailer")
mailer.RemoteHost = "mail.example.com"
mailer.FromName = "Ann Example"
mailer.FromAddress = "ann@example.com"
mailer.AddRecipient "Bob Example", "bob@example.com"
mailer.Subject = "Hello from Quillpost"
mailer.BodyText = "This message was sent by a script."
If mailer.SendMail Then
    WScript.Echo "Sent."
Else
    WScript.Echo "Not sent: " & mailer.Response
End If
