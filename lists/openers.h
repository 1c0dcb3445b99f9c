#pragma once

namespace lists {

// Each call opens a new list window inside the main window; its first activation
// shows page 1.
void OpenAllDiscsList();     // "全部碟片列表"
void OpenRentedDiscsList();  // "未还碟片列表"
void OpenAllCustomersList();         // "全部客户列表"
void OpenUnreturnedCustomersList();  // "未还客户列表"

// The one disc query window ("碟片查询"), created on first use and brought to the front.
void OpenDiscQuery();
// The one customer query window ("客户查询"), created on first use and brought to the front.
void OpenCustomerQuery();

} // namespace lists
