VERSION 5.00
Begin VB.Form frmCustomer 
   BorderStyle     =   3  'Fixed Dialog
   Caption         =   "Customer"
   ClientHeight    =   2415
   ClientLeft      =   45
   ClientTop       =   330
   ClientWidth     =   5040
   LinkTopic       =   "Form1"
   MaxButton       =   0   'False
   MinButton       =   0   'False
   ScaleHeight     =   2415
   ScaleWidth      =   5040
   StartUpPosition =   1  'CenterOwner
   Begin VB.TextBox txtCustomerNo 
      Height          =   315
      Left            =   1680
      TabIndex        =   0
      Top             =   240
      Width           =   1215
   End
   Begin VB.CommandButton cmdFind 
      Caption         =   "&Find"
      Default         =   -1  'True
      Height          =   315
      Left            =   3120
      TabIndex        =   1
      Top             =   240
      Width           =   975
   End
   Begin VB.TextBox txtCompany 
      Height          =   315
      Left            =   1680
      Locked          =   -1  'True
      TabIndex        =   2
      Top             =   720
      Width           =   3135
   End
   Begin VB.TextBox txtPhone 
      Height          =   315
      Left            =   1680
      Locked          =   -1  'True
      TabIndex        =   3
      Top             =   1200
      Width           =   1935
   End
   Begin VB.CommandButton cmdClose 
      Cancel          =   -1  'True
      Caption         =   "Close"
      Height          =   375
      Left            =   3720
      TabIndex        =   4
      Top             =   1860
      Width           =   1095
   End
   Begin VB.Label lblCustomerNo 
      Caption         =   "Customer no.:"
      Height          =   255
      Left            =   240
      TabIndex        =   5
      Top             =   270
      Width           =   1335
   End
End
Attribute VB_Name = "frmCustomer"
Attribute VB_GlobalNameSpace = False
Attribute VB_Creatable = False
Attribute VB_PredeclaredId = True
Attribute VB_Exposed = False
Option Explicit

Private Sub cmdFind_Click()
    Dim Customer As clsCustomer

    Set Customer = New clsCustomer
    If Customer.Load(Val(txtCustomerNo.Text)) Then
        txtCompany.Text = Customer.CompanyName
        txtPhone.Text = Customer.Phone
        LogMessage "Customer " & Customer.CustomerNo & " looked up", llInfo
    Else
        txtCompany.Text = ""
        txtPhone.Text = ""
        MsgBox "No customer with number " & txtCustomerNo.Text & ".", vbInformation, APP_TITLE
    End If
End Sub

Private Sub cmdClose_Click()
    Unload Me
End Sub
