VERSION 5.00
Begin VB.Form frmMain 
   Caption         =   "Order Desk"
   ClientHeight    =   3195
   ClientLeft      =   60
   ClientTop       =   345
   ClientWidth     =   4680
   LinkTopic       =   "Form1"
   ScaleHeight     =   3195
   ScaleWidth      =   4680
   StartUpPosition =   2  'CenterScreen
   Begin VB.CommandButton cmdQuit 
      Caption         =   "&Quit"
      Height          =   375
      Left            =   3240
      TabIndex        =   2
      Top             =   2640
      Width           =   1215
   End
   Begin VB.CommandButton cmdCustomers 
      Caption         =   "&Customers..."
      Height          =   375
      Left            =   240
      TabIndex        =   1
      Top             =   960
      Width           =   1935
   End
   Begin VB.CommandButton cmdNewOrder 
      Caption         =   "&New order..."
      Default         =   -1  'True
      Height          =   375
      Left            =   240
      TabIndex        =   0
      Top             =   360
      Width           =   1935
   End
   Begin VB.Label lblUser 
      Caption         =   "User:"
      Height          =   255
      Left            =   240
      TabIndex        =   3
      Top             =   2700
      Width           =   2775
   End
End
Attribute VB_Name = "frmMain"
Attribute VB_GlobalNameSpace = False
Attribute VB_Creatable = False
Attribute VB_PredeclaredId = True
Attribute VB_Exposed = False
Option Explicit

Private Sub Form_Load()
    Me.Caption = APP_TITLE
    lblUser.Caption = "User: " & gCurrentUser
End Sub

Private Sub cmdNewOrder_Click()
    LogMessage "New order started by " & gCurrentUser, llInfo
    frmOrder.Show vbModal, Me
End Sub

Private Sub cmdCustomers_Click()
    frmCustomer.Show vbModal, Me
End Sub

Private Sub cmdQuit_Click()
    Unload Me
End Sub

Private Sub Form_Unload(Cancel As Integer)
    CloseDatabase
    LogMessage "Order Desk closed", llInfo
End Sub
